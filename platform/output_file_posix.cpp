#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "output_file.h"

namespace platform {

namespace {

// Another instance would need this many unfinished outputs of one name to exhaust the names.
constexpr unsigned kNameAttempts = 1000;

// Moves without replacing: EEXIST when the name is taken. EINVAL or ENOSYS when neither the
// kernel nor the file system offers the atomic form.
int renameNoReplace(const std::string& from, const std::string& to) {
#if defined(SYS_renameat2) && defined(RENAME_NOREPLACE)
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
#endif
    // A second name for the file, which link() refuses to give over anything at all.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    return errno;
}

}  // namespace

TemporaryOutput createTemporaryOutput(const std::string& outputPath) {
    TemporaryOutput result;
    // The tick count spreads the names of concurrent instances; the loop settles collisions.
    const auto first = static_cast<unsigned>(tickCount());
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = temporaryOutputName(outputPath, (first + attempt) % 100000000u);
        // 0666: the umask decides, as it does for any new file the user makes.
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            ::close(fd);
            result.path = path;
            return result;
        }
        result.error = lastSystemError();
        if (errno != EEXIST) {
            return result;
        }
    }
    return result;
}

PlaceResult placeOutput(const std::string& temporaryPath, const std::string& outputPath,
                        bool replace) {
    PlaceResult result;
    if (replace) {
        if (::rename(temporaryPath.c_str(), outputPath.c_str()) == 0) {
            result.placement = Placement::Placed;
        } else {
            result.error = lastSystemError();
        }
        return result;
    }
    const int error = renameNoReplace(temporaryPath, outputPath);
    if (error == 0) {
        result.placement = Placement::Placed;
    } else if (error == EEXIST) {
        result.placement = Placement::NameTaken;
        result.error.code = error;
        ::unlink(temporaryPath.c_str());
    } else {
        result.error.code = error;
    }
    return result;
}

void discardOutput(const std::string& temporaryPath) {
    if (!temporaryPath.empty()) {
        ::unlink(temporaryPath.c_str());
    }
}

bool nameTaken(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

}  // namespace platform
