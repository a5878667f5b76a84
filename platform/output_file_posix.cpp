#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "output_file.h"

namespace platform {

namespace {

// Another instance would need this many unfinished outputs of one name to exhaust the names.
constexpr unsigned kNameAttempts = 1000;

// A file in a held folder: the descriptor and the name inside it, or AT_FDCWD and the path.
struct Place {
    int folder = AT_FDCWD;
    std::string name;
};

// Moves without replacing: EEXIST when the name is taken. EINVAL or ENOSYS when neither the
// kernel nor the file system offers the atomic form.
int renameNoReplace(const Place& from, const std::string& to) {
#if defined(SYS_renameat2) && defined(RENAME_NOREPLACE)
    if (::syscall(SYS_renameat2, from.folder, from.name.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
#endif
    // A second name for the file, which link() refuses to give over anything at all.
    if (::linkat(from.folder, from.name.c_str(), AT_FDCWD, to.c_str(), 0) == 0) {
        ::unlinkat(from.folder, from.name.c_str(), 0);
        return 0;
    }
    return errno;
}

}  // namespace

struct OutputFolder {
    explicit OutputFolder(int descriptor) : fd(descriptor) {}
    ~OutputFolder() { ::close(fd); }
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    const int fd;
};

namespace {

Place placeOf(const TemporaryOutput& temporary) {
    const auto slash = temporary.path.rfind('/');
    if (!temporary.folder || slash == std::string::npos) {
        return {AT_FDCWD, temporary.path};
    }
    return {temporary.folder->fd, temporary.path.substr(slash + 1)};
}

// The folder of a path, held open; empty when it cannot be opened (the file is then reached by
// its path).
std::shared_ptr<const OutputFolder> holdFolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? nullptr : std::make_shared<const OutputFolder>(fd);
}

}  // namespace

TemporaryOutput createTemporaryOutput(const std::string& outputPath) {
    TemporaryOutput result;
    // Held first, so that the file is surely made in the folder that is held.
    result.folder = holdFolderOf(outputPath);
    // The tick count spreads the names of concurrent instances; the loop settles collisions.
    const auto first = static_cast<unsigned>(tickCount());
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        result.path = temporaryOutputName(outputPath, (first + attempt) % 100000000u);
        const Place place = placeOf(result);
        // 0666: the umask decides, as it does for any new file the user makes.
        const int fd = ::openat(place.folder, place.name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            ::close(fd);
            return result;
        }
        result.error = lastSystemError();
        if (errno != EEXIST) {
            break;
        }
    }
    result.path.clear();
    result.folder.reset();
    return result;
}

PlaceResult placeOutput(const TemporaryOutput& temporary, const std::string& outputPath,
                        bool replace) {
    PlaceResult result;
    const Place from = placeOf(temporary);
    if (replace) {
        if (::renameat(from.folder, from.name.c_str(), AT_FDCWD, outputPath.c_str()) == 0) {
            result.placement = Placement::Placed;
        } else {
            result.error = lastSystemError();
        }
        return result;
    }
    const int error = renameNoReplace(from, outputPath);
    if (error == 0) {
        result.placement = Placement::Placed;
    } else if (error == EEXIST) {
        result.placement = Placement::NameTaken;
        result.error.code = error;
        ::unlinkat(from.folder, from.name.c_str(), 0);
    } else {
        result.error.code = error;
    }
    return result;
}

void discardOutput(const TemporaryOutput& temporary) {
    if (!temporary.path.empty()) {
        const Place place = placeOf(temporary);
        ::unlinkat(place.folder, place.name.c_str(), 0);
    }
}

bool nameTaken(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

}  // namespace platform
