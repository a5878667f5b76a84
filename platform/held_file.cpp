#include <utility>

#include "platform.h"

namespace platform {

HeldFile::~HeldFile() {
    release();
}

HeldFile::HeldFile(HeldFile&& other) noexcept
    : path_(std::move(other.path_)), native_(std::exchange(other.native_, kNone)) {}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
    if (this != &other) {
        release();
        path_ = std::move(other.path_);
        native_ = std::exchange(other.native_, kNone);
    }
    return *this;
}

}  // namespace platform
