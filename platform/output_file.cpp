#include "output_file.h"

#include <algorithm>

namespace platform {

namespace {

// The longest file name the common file systems take (bytes on Linux, UTF-16 units on Windows,
// of which a UTF-8 name has at most as many as bytes).
constexpr std::size_t kNameLimit = 255;
#ifndef _WIN32
// The longest path the system calls take, without its terminating zero.
constexpr std::size_t kPathLimit = 4095;
#endif

// The text cut to at most size bytes, never inside a UTF-8 sequence.
std::string cutAt(const std::string& text, std::size_t size) {
    if (text.size() <= size) {
        return text;
    }
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0u) == 0x80u) {
        --size;
    }
    return text.substr(0, size);
}

}  // namespace

std::string temporaryOutputName(const std::string& outputPath, unsigned number) {
#ifdef _WIN32
    // Windows takes either separator.
    const auto separator = outputPath.find_last_of("\\/");
#else
    const auto separator = outputPath.rfind(kPathSeparator);
#endif
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const std::string folder = outputPath.substr(0, nameStart);
    const std::string name = outputPath.substr(nameStart);
    const auto dot = name.rfind('.');
    // A name that is only an extension (".avi") keeps it twice: as the stem that tells it apart,
    // and as the extension that picks the converter's format.
    const bool hasStem = dot != std::string::npos && dot > 0;
    std::string stem = hasStem ? name.substr(0, dot) : name;
    const std::string extension = dot != std::string::npos ? name.substr(dot) : std::string();
    const std::string tail = "." + std::to_string(number) + ".part" + extension;
    // A name the system takes must not fail for want of room for the temporary one: the stem is
    // shortened as far as needed; the exclusive creation keeps shortened names apart.
    std::size_t room = kNameLimit > tail.size() + 1 ? kNameLimit - tail.size() - 1 : 0;
#ifndef _WIN32
    const std::size_t fixed = folder.size() + tail.size() + 1;
    room = std::min(room, kPathLimit > fixed ? kPathLimit - fixed : 0);
#endif
    stem = cutAt(stem, room);
    return folder + "." + stem + tail;
}

}  // namespace platform
