#include "convert_checks.h"

#include "convert_core.h"
#include "file_checks.h"
#include "media_preset.h"
#include "platform.h"

namespace rules {

std::string absoluteOutputFolder(const std::string& typed, const std::string& home) {
    if (typed.empty()) {
        return {};
    }
    std::string folder = typed;
    if (!home.empty() && (folder == "~" || folder.starts_with("~/"))) {
        folder = home + folder.substr(1);
    }
    folder = absolutePath(folder, {});
    constexpr char sep = platform::kPathSeparator;
    // "/" and "C:\" are folders of their own; "/srv/out/" names what "/srv/out" does.
    while (folder.size() > 1 && folder.back() == sep && folder[folder.size() - 2] != ':') {
        folder.pop_back();
    }
    return folder;
}

Refusal checkConvert(const ConvertInput& input) {
    if (input.sourceCount <= 0) {
        return Refusal::NoSources;
    }
    if (input.outputFolder.empty()) {
        return Refusal::NoOutputFolder;
    }
    if (!platform::isDirectory(input.outputFolder)) {
        return Refusal::FolderMissing;
    }
    if (!platform::pathExists(input.toolPath)) {
        return Refusal::NoConverter;
    }
    if (platform::dataFolder().empty()) {
        return Refusal::NoDataFolder;
    }
    return Refusal::None;
}

std::string refusalText(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
            return {};
        case Refusal::NoSources:
            return "Please add source files.";
        case Refusal::NoOutputFolder:
            return "Please select output folder.";
        case Refusal::FolderMissing:
            return "The output folder doesn't exist.";
        case Refusal::NoConverter:
            return "There isn't a core file.";
        case Refusal::NoDataFolder:
            return "There is no folder for the program's data.";
    }
    return {};
}

void setUpBatch(ConvertCore& core, const std::string& toolPath, const std::string& outputFolder,
                const MediaPreset& presets, int preset) {
    core.toolPath = toolPath;
    core.outputFolder = outputFolder;
    const char* extension = presets.presetExtension(preset);
    core.outputExt = extension != nullptr ? extension : "";
    core.presetArgs = presets.presetArguments(preset);
}

bool queueLines(ConvertCore& core, const std::vector<std::string>& lines) {
    core.clearJobs();
    for (const std::string& line : lines) {
        if (!line.empty()) {
            core.addJob(line);
        }
    }
    return core.jobCount() > 0;
}

}  // namespace rules
