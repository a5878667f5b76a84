#include "script.h"

#include "data_folder.h"
#include "platform.h"

namespace {

constexpr std::string_view kScriptPrefix = "bjob";
#ifdef _WIN32
constexpr std::string_view kScriptSuffix = ".bat";
// The file is UTF-8; cmd decodes the lines after chcp in that code page.
constexpr long kBatchCodePage = 65001;
#else
constexpr std::string_view kScriptSuffix = ".sh";
#endif
// Another instance would need this many scripts alive at once to exhaust the names.
constexpr int kNameAttempts = 1000;

std::string batchQuote(std::string_view path) {
    std::string quoted = "\"";
    for (char c : path) {
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace

std::string shellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string shellScriptText(const ScriptCommand& command, const std::string& scriptPath) {
    std::string text = "#!/bin/sh\n\n";
    text += shellQuote(command.toolPath);
    if (command.outputPath) {
        text += " -y -i " + shellQuote(command.sourcePath) + " " + command.presetArgs + " " +
                shellQuote(*command.outputPath);
    } else {
        text += " -i " + shellQuote(command.sourcePath);
    }
    // A blank line leaves $? as the converter set it.
    text += "\n\nstatus=$?; rm -f -- " + shellQuote(scriptPath) + "; exit \"$status\"";
    return text;
}

std::string batchScriptText(const ScriptCommand& command, long codePage,
                            const std::string& scriptPath) {
    std::string text = "chcp " + std::to_string(codePage) + "\r\n\r\n";
    text += batchQuote(command.toolPath);
    if (command.outputPath) {
        text += " -y -i " + batchQuote(command.sourcePath) + " " + command.presetArgs + " " +
                batchQuote(*command.outputPath);
    } else {
        text += " -i " + batchQuote(command.sourcePath);
    }
    // %ERRORLEVEL% is expanded when the line is read, before del changes it.
    text += "\r\n\r\ndel " + batchQuote(scriptPath) + " & exit /b %ERRORLEVEL%";
    return text;
}

std::vector<std::string> interpreterEchoMarks(const std::string& scriptPath,
                                              const std::string& toolPath) {
#ifdef _WIN32
    // "chcp 65001" is echoed, and answered with a line that ends in the number in any language.
    const std::string codePage = std::to_string(kBatchCodePage);
    return {scriptPath, toolPath, "chcp " + codePage, ": " + codePage};
#else
    return {scriptPath, toolPath};
#endif
}

std::string scriptFolder() {
    return platform::dataFolders().scripts;
}

std::string makeScriptBase() {
    std::string base = scriptFolder();
    base += platform::kPathSeparator;
    base += kScriptPrefix;
    base += std::to_string(platform::tickCount());
    return base;
}

MadeFile createUniqueFileOrWhy(const std::string& folder, std::string_view prefix,
                               std::int32_t first, std::string_view suffix,
                               const std::function<std::string(const std::string&)>& content) {
    MadeFile made;
    if (folder.empty()) {
        made.error.kind = EngineError::Kind::NoDataFolder;
        return made;
    }
    auto number = static_cast<std::uint32_t>(first);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt, ++number) {
        std::string path = folder;
        path += platform::kPathSeparator;
        path += prefix;
        path += std::to_string(static_cast<std::int32_t>(number));
        path += suffix;
        switch (platform::createHeldFile(path, content(path), made.held, &made.error.error)) {
            case platform::CreateResult::Created:
                made.path = path;
                made.error = {};
                return made;
            case platform::CreateResult::Exists:
                continue;
            case platform::CreateResult::Failed:
                made.error.where = folder;
                return made;
        }
    }
    made.error.where = folder;
    return made;
}

std::string createUniqueFile(const std::string& folder, std::string_view prefix, std::int32_t first,
                             std::string_view suffix,
                             const std::function<std::string(const std::string&)>& content) {
    return createUniqueFileOrWhy(folder, prefix, first, suffix, content).path;
}

MadeFile refusedFolders(const platform::DataFolders& folders) {
    MadeFile refused;
    refused.error.kind = folders.refused.empty() ? EngineError::Kind::NoDataFolder
                                                 : EngineError::Kind::DataFolderRefused;
    refused.error.where = folders.refused;
    refused.error.detail = folders.why;
    return refused;
}

MadeFile makeScriptFile(const ScriptCommand& command) {
    const platform::DataFolders folders = platform::dataFolders();
    if (!folders) {
        return refusedFolders(folders);
    }
    MadeFile made = createUniqueFileOrWhy(folders.scripts, kScriptPrefix, platform::tickCount(),
                                          kScriptSuffix, [&command](const std::string& path) {
#ifdef _WIN32
                                              return batchScriptText(command, kBatchCodePage, path);
#else
            return shellScriptText(command, path);
#endif
                                          });
    if (made.path.empty() && made.error.kind == EngineError::Kind::None) {
        made.error.kind = EngineError::Kind::CannotWriteScript;
    }
    return made;
}

std::string writeScriptFile(const ScriptCommand& command) {
    return makeScriptFile(command).path;
}
