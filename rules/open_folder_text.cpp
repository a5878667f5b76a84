#include "open_folder_text.h"

#include "platform.h"

namespace rules {

OpenFolderProblem checkOpenFolder(const std::string& folder) {
    if (!platform::pathExists(folder)) {
        return OpenFolderProblem::Missing;
    }
    if (!platform::isDirectory(folder)) {
        return OpenFolderProblem::NotAFolder;
    }
    return OpenFolderProblem::None;
}

std::string openFolderFailure(const std::string& folder, OpenFolderProblem problem) {
    std::string reason;
    switch (problem) {
        case OpenFolderProblem::None:
            return {};
        case OpenFolderProblem::Missing:
            reason = "it doesn't exist";
            break;
        case OpenFolderProblem::NotAFolder:
            reason = "it is not a folder";
            break;
        case OpenFolderProblem::NoOpener:
            reason = "no program to show folders is set up on this desktop";
            break;
    }
    return "Cannot open the folder '" + folder + "':\n" + reason + ".";
}

std::string openFolderFailure(const std::string& folder, const std::string& reason) {
    if (reason.empty()) {
        return openFolderFailure(folder, OpenFolderProblem::NoOpener);
    }
    return "Cannot open the folder '" + folder + "':\n" + reason + ".";
}

std::string showFolder(const std::string& folder, const std::function<ShowAnswer()>& show) {
    if (folder.empty()) {
        return {};
    }
    const OpenFolderProblem problem = checkOpenFolder(folder);
    if (problem != OpenFolderProblem::None) {
        return openFolderFailure(folder, problem);
    }
    const ShowAnswer answer = show();
    return answer.shown ? std::string() : openFolderFailure(folder, answer.reason);
}

}  // namespace rules
