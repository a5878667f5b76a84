#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "output_file.h"
#include "output_file_posix.h"

namespace platform {

namespace {

// Another instance would need this many private folders made at the same moment to exhaust the
// names.
constexpr unsigned kNameAttempts = 1000;
// A shared folder's other users get this many chances to take the job's new folder over.
constexpr unsigned kTakeoverAttempts = 5;
// Longer extensions are not the converter's business: the temporary file then has none.
constexpr std::size_t kExtensionLimit = 64;

// Moves without replacing: EEXIST when the name is taken. EINVAL or ENOSYS when neither the
// kernel nor the file system offers the atomic form.
int renameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
#if defined(SYS_renameat2) && defined(RENAME_NOREPLACE)
    if (::syscall(SYS_renameat2, fromFolder, from.c_str(), toFolder, to.c_str(),
                  RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
#endif
    // A second name for the file, which link() refuses to give over anything at all.
    if (::linkat(fromFolder, from.c_str(), toFolder, to.c_str(), 0) == 0) {
        ::unlinkat(fromFolder, from.c_str(), 0);
        return 0;
    }
    return errno;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "output" and the output's extension: fixed, so that it never starts with '-' (an option to the
// converter) and always fits the system's name limit.
std::string temporaryNameFor(const std::string& outputName) {
    const auto dot = outputName.rfind('.');
    std::string extension = dot == std::string::npos ? "" : outputName.substr(dot);
    if (extension.size() > kExtensionLimit) {
        extension.clear();
    }
    return "output" + extension;
}

std::string randomTag(unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    char tag[32];
    std::snprintf(tag, sizeof tag, "%08x%04x", static_cast<unsigned>(tickCount()) ^ (attempt << 20),
                  (static_cast<unsigned>(::getpid()) + counter++) & 0xffffu);
    return tag;
}

}  // namespace

OutputPlace::OutputPlace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

OutputPlace::Made OutputPlace::make(const std::string& outputPath) {
    Made made;
    auto impl = std::make_unique<Impl>();
    impl->outputFolderPath = folderOf(outputPath);
    impl->outputName = nameOf(outputPath);
    impl->temporaryName = temporaryNameFor(impl->outputName);
    // Held first, so that everything is surely made in the folder that is held.
    impl->outputFolder.reset(
        ::open(impl->outputFolderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!impl->outputFolder || ::fstat(impl->outputFolder.get(), &info) != 0) {
        made.error = lastSystemError();
        return made;
    }
    impl->outputFolderId = {info.st_dev, info.st_ino};
    unsigned takeovers = 0;
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string tag = randomTag(attempt);
        const std::string building = std::string(kBuildingPrefix) + tag;
        if (::mkdirat(impl->outputFolder.get(), building.c_str(), 0700) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            made.error = lastSystemError();
            return made;
        }
        if (const int error = impl->settle(building, std::string(kJobPrefix) + tag)) {
            // Another user put a folder of theirs at the new folder's name before it could be
            // held: never used, and tried again under another name.
            if (error == EPERM && ++takeovers < kTakeoverAttempts) {
                continue;
            }
            made.error.code = error;
            made.takenOver = error == EPERM;
            return made;
        }
        made.place = std::unique_ptr<OutputPlace>(new OutputPlace(std::move(impl)));
        return made;
    }
    made.error.code = EEXIST;
    return made;
}

int OutputPlace::Impl::settle(const std::string& building, const std::string& finalName) {
    // Under a name a sweep ignores until it is locked; another user may have put something of
    // theirs there meanwhile, which is never used.
    privateFolder.reset(::openat(outputFolder.get(), building.c_str(),
                                 O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!privateFolder || ::fstat(privateFolder.get(), &info) != 0) {
        return errno;
    }
    if (info.st_uid != ::geteuid() || !S_ISDIR(info.st_mode)) {
        privateFolder.reset();
        return EPERM;
    }
    privateName = building;
    lock.reset(::openat(privateFolder.get(), kLockName,
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock || ::flock(lock.get(), LOCK_EX) != 0) {
        return errno;
    }
    // 0666: the umask (or the folder's default ACL) decides, as for any file made in the output
    // folder.
    FileDescriptor temporary(::openat(privateFolder.get(), temporaryName.c_str(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!temporary) {
        return errno;
    }
    if (const int error =
            renameNoReplace(outputFolder.get(), building, outputFolder.get(), finalName)) {
        return error;
    }
    privateName = finalName;
    return 0;
}

OutputPlace::~OutputPlace() = default;

namespace {

// Removes the folder at parent/name when it is the held one.
bool removeIfHeld(const struct stat& held, int parent, const char* name) {
    struct stat named {};
    return ::fstatat(parent, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino &&
           ::unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

}  // namespace

OutputPlace::Impl::~Impl() {
    if (!privateFolder) {
        return;
    }
    removeFolderContents(privateFolder.get());
    lock.reset();
    // Only the folder the job made, empty by now: another user may have moved it in a shared
    // output folder and put something of theirs at its name. Moved, it is found through its
    // descriptor.
    struct stat held {};
    if (::fstat(privateFolder.get(), &held) != 0 ||
        removeIfHeld(held, outputFolder.get(), privateName.c_str())) {
        return;
    }
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", privateFolder.get());
    char path[PATH_MAX];
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    if (length > 0 && path[0] == '/') {
        path[length] = '\0';
        removeIfHeld(held, AT_FDCWD, path);
    }
}

// Names first, then the visits: a visit may remove entries.
void eachEntry(int folder, const std::function<void(const std::string&)>& visit) {
    const int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) {
        return;
    }
    DIR* entries = ::fdopendir(readable);
    if (entries == nullptr) {
        ::close(readable);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(entries)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(entries);
    for (const std::string& name : names) {
        visit(name);
    }
}

void removeFolderContents(int folder) {
    eachEntry(folder, [folder](const std::string& name) {
        if (name != "." && name != "..") {
            ::unlinkat(folder, name.c_str(), 0);
        }
    });
}

const std::string& OutputPlace::converterOutput() const {
    return impl_->temporaryName;
}

std::string OutputPlace::temporaryPath() const {
    return impl_->outputFolderPath + "/" + impl_->privateName + "/" + impl_->temporaryName;
}

OutputPlace::State OutputPlace::check() const {
    struct stat file {};
    if (::fstatat(impl_->privateFolder.get(), impl_->temporaryName.c_str(), &file,
                  AT_SYMLINK_NOFOLLOW) != 0) {
        return State::Empty;
    }
    struct stat folder {};
    if (::stat(impl_->outputFolderPath.c_str(), &folder) != 0 ||
        FileIdentity{folder.st_dev, folder.st_ino} != impl_->outputFolderId) {
        return State::FolderMoved;
    }
    if (!S_ISREG(file.st_mode)) {
        return State::NotAFile;
    }
    return file.st_size > 0 ? State::Ready : State::Empty;
}

PlaceResult OutputPlace::place(bool replace) {
    PlaceResult result;
    const int from = impl_->privateFolder.get();
    const int to = impl_->outputFolder.get();
    const std::string& name = impl_->temporaryName;
    int error = 0;
    if (replace) {
        error = ::renameat(from, name.c_str(), to, impl_->outputName.c_str()) == 0 ? 0 : errno;
    } else {
        error = renameNoReplace(from, name, to, impl_->outputName);
    }
    if (error == 0) {
        result.placement = Placement::Placed;
    } else {
        result.placement = !replace && error == EEXIST ? Placement::NameTaken : Placement::Failed;
        result.error.code = error;
    }
    return result;
}

OutputName lookAtOutputName(const std::string& path) {
    OutputName name;
    struct stat info {};
    if (path.empty() || ::lstat(path.c_str(), &info) != 0) {
        return name;
    }
    const bool link = S_ISLNK(info.st_mode);
    if (link && ::stat(path.c_str(), &info) != 0) {
        name.kind = OutputName::Kind::Other;
        name.what = "a link that leads nowhere";
        return name;
    }
    if (S_ISREG(info.st_mode)) {
        name.kind = OutputName::Kind::File;
        return name;
    }
    name.kind = OutputName::Kind::Other;
    name.what = S_ISDIR(info.st_mode)                            ? "a folder"
                : S_ISFIFO(info.st_mode)                         ? "a FIFO"
                : S_ISSOCK(info.st_mode)                         ? "a socket"
                : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                                                                 : "something that is not a file";
    if (link) {
        name.what = "a link to " + name.what;
    }
    return name;
}

bool nameTaken(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

}  // namespace platform
