#include "file_checks.h"

#include "file_types.h"

namespace rules {

bool isAcceptedName(const std::string& path) {
    return isAcceptedFile(path);
}

std::string fileRefusalText(FileRefusal refusal) {
    switch (refusal) {
        case FileRefusal::None:
            return {};
        case FileRefusal::NotFound:
            return "not found";
        case FileRefusal::NotRegular:
            return "not a regular file";
        case FileRefusal::NotReadable:
            return "not readable";
        case FileRefusal::NotMatroska:
            return "not a Matroska name";
        case FileRefusal::ListedTwice:
            return "listed twice";
    }
    return {};
}

FileRefusal FileList::add(const std::string& path) {
    FileIdentity identity;
    FileRefusal refusal = checkReadableFile(path, identity);
    if (refusal == FileRefusal::None && !isAcceptedName(path)) {
        refusal = FileRefusal::NotMatroska;
    }
    if (refusal == FileRefusal::None && !accepted_.insert(identity).second) {
        refusal = FileRefusal::ListedTwice;
    }
    return refusal;
}

}  // namespace rules
