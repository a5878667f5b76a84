#pragma once

// What the Windows sources of the platform layer share: an owned handle, and the lock a file of
// the program's own carries while it is in use.

#include <windows.h>

#include <utility>

namespace platform::win32 {

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    HANDLE* out() {
        reset();
        return &handle_;
    }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
            handle_ = nullptr;
        }
    }

private:
    HANDLE handle_ = nullptr;
};

// One byte far beyond any end of file: locking it blocks no reader of the file (cmd reading a
// script included), and a lock that cannot be taken shows that a live job holds the file.
inline bool lockInUse(HANDLE file, bool wait) {
    OVERLAPPED at{};
    at.OffsetHigh = 0x7FFFFFFF;
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

}  // namespace platform::win32
