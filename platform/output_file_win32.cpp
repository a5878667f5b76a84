#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>

#include "output_file.h"
#include "sweep_names.h"
#include "win32_handle.h"
#include "win32_text.h"

namespace platform {

using win32::Handle;

namespace {

constexpr unsigned kNameAttempts = 1000;
constexpr std::size_t kExtensionLimit = 64;

std::string folderOf(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "." : path.substr(0, separator);
}

std::string nameOf(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

Handle openFolder(const std::string& path) {
    return Handle(CreateFileW(win32::filePath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool identityOf(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    identity = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

std::string randomTag(unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    char tag[32];
    std::snprintf(tag, sizeof tag, "%08lx%04x",
                  static_cast<unsigned long>(GetTickCount()) ^ (attempt << 20),
                  (static_cast<unsigned>(GetCurrentProcessId()) + counter++) & 0xffffu);
    return tag;
}

}  // namespace

struct OutputPlace::Impl {
    std::string outputFolderPath;
    std::string outputName;
    std::string privatePath;  // empty when none was made
    std::string temporaryName;
    std::string temporaryPath;  // in the private folder under its final name
    Handle outputFolder;
    FileIdentity outputFolderId;
    Handle lock;

    ~Impl() {
        if (privatePath.empty()) {
            return;
        }
        DeleteFileW(win32::filePath(privatePath + "\\" + temporaryName).c_str());
        lock.reset();
        DeleteFileW(win32::filePath(privatePath + "\\" + sweep::kLockName).c_str());
        RemoveDirectoryW(win32::filePath(privatePath).c_str());
    }

    // Locks the new private folder and makes the temporary file in it; 0 or the system's error.
    DWORD settle(const std::string& building, const std::string& finalPath) {
        privatePath = building;
        lock = Handle(CreateFileW(win32::filePath(building + "\\" + sweep::kLockName).c_str(),
                                  GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!lock || !win32::lockInUse(lock.get(), false)) {
            return GetLastError();
        }
        // Not marked hidden: a converter that opens the file to rewrite it would be refused.
        Handle file(CreateFileW(win32::filePath(building + "\\" + temporaryName).c_str(),
                                GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return GetLastError();
        }
        if (!MoveFileW(win32::filePath(building).c_str(), win32::filePath(finalPath).c_str())) {
            return GetLastError();
        }
        privatePath = finalPath;
        temporaryPath = finalPath + "\\" + temporaryName;
        return 0;
    }
};

OutputPlace::OutputPlace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

OutputPlace::~OutputPlace() = default;

OutputPlace::Made OutputPlace::make(const std::string& outputPath) {
    Made made;
    auto impl = std::make_unique<Impl>();
    impl->outputFolderPath = folderOf(outputPath);
    impl->outputName = nameOf(outputPath);
    impl->outputFolder = openFolder(impl->outputFolderPath);
    if (!impl->outputFolder || !identityOf(impl->outputFolder.get(), impl->outputFolderId)) {
        made.error = lastSystemError();
        return made;
    }
    const auto dot = impl->outputName.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : impl->outputName.substr(dot);
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string tag = randomTag(attempt);
        const std::string building = impl->outputFolderPath + "\\" + sweep::kBuildingPrefix + tag;
        if (!CreateDirectoryW(win32::filePath(building).c_str(), nullptr)) {
            if (GetLastError() == ERROR_ALREADY_EXISTS) {
                continue;
            }
            made.error = lastSystemError();
            return made;
        }
        impl->temporaryName = extension.size() > kExtensionLimit ? "output" : "output" + extension;
        const std::string finalPath = impl->outputFolderPath + "\\" + sweep::kJobPrefix + tag;
        if (const DWORD error = impl->settle(building, finalPath)) {
            made.error.code = static_cast<int>(error);
            return made;
        }
        made.place = std::unique_ptr<OutputPlace>(new OutputPlace(std::move(impl)));
        return made;
    }
    made.error.code = ERROR_ALREADY_EXISTS;
    return made;
}

const std::string& OutputPlace::converterOutput() const {
    return impl_->temporaryPath;
}

std::string OutputPlace::temporaryPath() const {
    return impl_->temporaryPath;
}

OutputPlace::State OutputPlace::check() const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win32::filePath(impl_->temporaryPath).c_str(), GetFileExInfoStandard,
                              &data)) {
        return State::Empty;
    }
    const Handle named = openFolder(impl_->outputFolderPath);
    FileIdentity identity;
    if (!named || !identityOf(named.get(), identity) || identity != impl_->outputFolderId) {
        return State::FolderMoved;
    }
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return State::NotAFile;
    }
    return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0 ? State::Ready : State::Empty;
}

PlaceResult OutputPlace::place(bool replace) {
    PlaceResult result;
    const std::string output = impl_->outputFolderPath + "\\" + impl_->outputName;
    if (MoveFileExW(win32::filePath(impl_->temporaryPath).c_str(), win32::filePath(output).c_str(),
                    replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        result.placement = Placement::Placed;
        return result;
    }
    result.error = lastSystemError();
    if (!replace &&
        (result.error.code == ERROR_ALREADY_EXISTS || result.error.code == ERROR_FILE_EXISTS)) {
        result.placement = Placement::NameTaken;
    }
    return result;
}

OutputName lookAtOutputName(const std::string& path) {
    OutputName name;
    const DWORD attributes = GetFileAttributesW(win32::filePath(path).c_str());
    if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES) {
        return name;
    }
    name.kind = OutputName::Kind::Other;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        name.what =
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? "a link to a folder" : "a folder";
        return name;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !Handle(CreateFileW(win32::filePath(path).c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))) {
        name.what = "a link that leads nowhere";
        return name;
    }
    name.kind = OutputName::Kind::File;
    return name;
}

bool nameTaken(const std::string& path) {
    return !path.empty() &&
           GetFileAttributesW(win32::filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace platform
