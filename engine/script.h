#pragma once

// The small scripts through which every run of the converter is started: written to the
// per-user data folder, run by the platform's interpreter, deleting themselves at the end.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data_folder.h"
#include "engine_error.h"

// What one script runs. Without an output path it is a probe; with one (even with empty
// preset arguments) it converts.
struct ScriptCommand {
    std::string toolPath;
    std::string sourcePath;
    std::string presetArgs;
    std::optional<std::string> outputPath;
};

// One shell word in single quotes; a quote inside is written '\'' so no name can run a command.
std::string shellQuote(std::string_view text);

// The POSIX form: five lines separated by LF, no line end after the last. The last line
// passes the converter's exit status on after the script has deleted itself.
std::string shellScriptText(const ScriptCommand& command, const std::string& scriptPath);

// The Windows batch form: UTF-8 bytes, CR LF between lines, no line end after the last.
// Paths are double-quoted with every '%' doubled; codePage is the number given to chcp.
std::string batchScriptText(const ScriptCommand& command, long codePage,
                            const std::string& scriptPath);

// Texts that mark a line of a script's output as the interpreter's own (cmd echoes each command
// and prints the code page it selects), not the converter's.
std::vector<std::string> interpreterEchoMarks(const std::string& scriptPath,
                                              const std::string& toolPath);

// The folder that holds the scripts: <data folder>/Vantrel, created when missing. Empty when
// there is no data folder: nothing is then written anywhere else in its place.
std::string scriptFolder();

// The script path without its extension: <script folder>/bjob<tick>.
std::string makeScriptBase();

// Creates <folder>/<prefix><n><suffix> exclusively for n = first, first + 1, ... (wrapping like
// the tick count) so that a second program instance never shares a name. content() is given the
// chosen path. Returns that path, or "" when no file could be created.
std::string createUniqueFile(const std::string& folder, std::string_view prefix, std::int32_t first,
                             std::string_view suffix,
                             const std::function<std::string(const std::string&)>& content);
// The same, with the system's reason when no file could be created (the error's kind is
// left to the caller to set).
MadeFile createUniqueFileOrWhy(const std::string& folder, std::string_view prefix,
                               std::int32_t first, std::string_view suffix,
                               const std::function<std::string(const std::string&)>& content);

// No file, for the reason the data folders cannot be used.
MadeFile refusedFolders(const platform::DataFolders& folders);

// Writes the platform's form of the script under a fresh name in the script folder.
// Returns its path, or "" when the file could not be created.
std::string writeScriptFile(const ScriptCommand& command);
// The same, with the reason when there is no script.
MadeFile makeScriptFile(const ScriptCommand& command);
