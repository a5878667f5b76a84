#include <windows.h>

#include "data_folder.h"
#include "win32_text.h"

namespace platform {

namespace {

// Makes the folder where missing, then refuses a link or junction in its place; "" when fine.
std::string folderProblem(const std::string& folder) {
    const std::wstring wide = win32::filePath(folder);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return lastSystemError().text();
        }
        attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return lastSystemError().text();
        }
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return "it is a link";
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return "it is not a folder";
    }
    return {};
}

// Makes the folders above the data folder that are missing (a fresh profile may lack some).
void makeParents(const std::string& folder) {
    for (auto separator = folder.find_first_of("\\/", 3); separator != std::string::npos;
         separator = folder.find_first_of("\\/", separator + 1)) {
        CreateDirectoryW(win32::filePath(folder.substr(0, separator)).c_str(), nullptr);
    }
}

}  // namespace

DataFolders dataFolders() {
    const std::string folder = dataFolder();
    if (folder.empty()) {
        return {};
    }
    makeParents(folder);
    for (const std::string& path : {folder, folder + "\\Vantrel"}) {
        if (const std::string why = folderProblem(path); !why.empty()) {
            DataFolders refused;
            refused.refused = path;
            refused.why = why;
            return refused;
        }
    }
    DataFolders result;
    result.data = folder;
    result.scripts = folder + "\\Vantrel";
    return result;
}

}  // namespace platform
