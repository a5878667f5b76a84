#include <windows.h>

#include "output_file.h"
#include "win32_text.h"

namespace platform {

namespace {

constexpr unsigned kNameAttempts = 1000;

}  // namespace

TemporaryOutput createTemporaryOutput(const std::string& outputPath) {
    TemporaryOutput result;
    const auto first = static_cast<unsigned>(tickCount());
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = temporaryOutputName(outputPath, (first + attempt) % 100000000u);
        // Not marked hidden: a converter that opens the file to rewrite it would be refused.
        HANDLE file = CreateFileW(win32::filePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            result.path = path;
            return result;
        }
        result.error = lastSystemError();
        if (result.error.code != ERROR_FILE_EXISTS && result.error.code != ERROR_ALREADY_EXISTS) {
            return result;
        }
    }
    return result;
}

PlaceResult placeOutput(const TemporaryOutput& temporary, const std::string& outputPath,
                        bool replace) {
    PlaceResult result;
    const std::wstring from = win32::filePath(temporary.path);
    if (MoveFileExW(from.c_str(), win32::filePath(outputPath).c_str(),
                    replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        result.placement = Placement::Placed;
        return result;
    }
    result.error = lastSystemError();
    if (!replace &&
        (result.error.code == ERROR_ALREADY_EXISTS || result.error.code == ERROR_FILE_EXISTS)) {
        result.placement = Placement::NameTaken;
        DeleteFileW(from.c_str());
    }
    return result;
}

void discardOutput(const TemporaryOutput& temporary) {
    if (!temporary.path.empty()) {
        DeleteFileW(win32::filePath(temporary.path).c_str());
    }
}

bool nameTaken(const std::string& path) {
    return !path.empty() &&
           GetFileAttributesW(win32::filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace platform
