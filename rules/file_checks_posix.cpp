#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "file_checks.h"

namespace rules {

namespace {

std::string currentFolder() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string absolutePath(const std::string& path, const std::string& base) {
    std::string full = path;
    if (path.empty() || path.front() != '/') {
        const std::string folder = base.empty() ? currentFolder() : base;
        if (folder.empty()) {
            // No current folder to name (it was removed): the system alone can resolve it.
            return path;
        }
        full = folder + "/" + path;
    }
    // "a/./b" and "a//b" name what "a/b" names; ".." depends on what "a" is, so it stays. A
    // trailing separator is kept: it asks for a folder.
    std::string result = "/";
    std::size_t start = 0;
    while (start < full.size()) {
        std::size_t end = full.find('/', start);
        if (end == std::string::npos) {
            end = full.size();
        }
        const std::string_view part(full.data() + start, end - start);
        if (!part.empty() && part != ".") {
            if (result.back() != '/') {
                result += '/';
            }
            result += part;
        }
        start = end + 1;
    }
    const bool asksForFolder = full.size() > 1 && (full.back() == '/' || full.ends_with("/."));
    if (asksForFolder && result.back() != '/') {
        result += '/';
    }
    return result;
}

FileRefusal checkReadableFile(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (path.empty()) {
        return FileRefusal::NotFound;
    }
    if (::stat(path.c_str(), &info) != 0) {
        return errno == EACCES ? FileRefusal::NotReadable : FileRefusal::NotFound;
    }
    if (!S_ISREG(info.st_mode)) {
        return FileRefusal::NotRegular;
    }
    // Non-blocking, so that a FIFO put at the name since the look above is not waited on.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        return errno == ENOENT ? FileRefusal::NotFound : FileRefusal::NotReadable;
    }
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return FileRefusal::NotRegular;
    }
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return FileRefusal::None;
}

}  // namespace rules
