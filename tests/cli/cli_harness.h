#pragma once

// What the kestrova-cli tests share: the program run in-process with captured streams, and the
// processes a program started, seen through /proc.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_app.h"
#include "temp_dir.h"
#include "waiting.h"

namespace testing_support {

inline std::string writeExecutable(const TempDir& dir, const std::string& name,
                                   const std::string& text) {
    const std::string path = dir.write(name, text);
    ::chmod(path.c_str(), 0755);
    return path;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The line of a job that did not finish: its source and a reason, whatever the reason says.
inline void expectNotFinished(const std::string& line, const std::string& source) {
    const std::string head = "not finished: " + source + ": ";
    EXPECT_EQ(line.rfind(head, 0), 0u) << line;
    EXPECT_GT(line.size(), head.size()) << line;
}

// kestrova-cli run in-process in a temporary folder, with a data folder of its own that must be
// empty afterwards.
class CliHarness {
public:
    struct Result {
        int status;
        std::string out;
        std::string err;
    };

    ~CliHarness() {
        EXPECT_EQ(filesUnder(dataHome.path()), std::vector<std::string>{})
            << "scripts or logs left behind";
    }

    // Runs the program; relative paths are taken from the temporary folder.
    Result run(const std::vector<std::string>& args,
               const std::function<void(cli::Console&)>& setup = {}) {
        std::ostringstream out;
        std::ostringstream err;
        cli::Console console(out, err);
        console.toolPath = failingTool;
        console.workingFolder = temp.path();
        if (setup) {
            setup(console);
        }
        const int status = cli::run(args, console);
        return {status, out.str(), err.str()};
    }

    // A source file; its contents do not matter until a converter reads it. The fake converter
    // reads them as its recipe.
    std::string source(const std::string& name, const std::string& text = "not a real clip") {
        std::filesystem::create_directories(std::filesystem::path(temp.file(name)).parent_path());
        return temp.write(name, text);
    }

    TempDir temp;
    TempDir dataHome;
    ScopedDataHome home{dataHome.path()};
    // A converter that fails at once: enough wherever nothing has to be converted.
    std::string failingTool = writeExecutable(temp, "failing-xcoder", "#!/bin/sh\nexit 1\n");
    const std::string realTool = std::string(KESTROVA_BIN_DIR) + "/core/xcoder";
};

struct ProcessInfo {
    pid_t pid = 0;
    char state = 0;  // 'T': stopped
    pid_t group = 0;
    std::string command;  // its arguments, each ended by a zero byte
};

// The processes under pid that run in process groups of their own (the converters and their
// scripts, not the program's guardians of them), from /proc.
inline std::vector<ProcessInfo> converterProcesses(pid_t pid) {
    std::vector<ProcessInfo> found;
    std::vector<pid_t> parents{pid};
    for (std::size_t k = 0; k < parents.size(); ++k) {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            std::string stat;
            try {
                stat = readAll(entry.path().string() + "/stat");
            } catch (const std::exception&) {
                continue;  // it has just ended
            }
            const auto close = stat.rfind(')');
            if (close == std::string::npos) {
                continue;
            }
            char state = 0;
            int parent = 0;
            int group = 0;
            if (std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &parent, &group) == 3 &&
                parent == parents[k]) {
                const pid_t child = std::stoi(name);
                parents.push_back(child);
                std::string command;
                try {
                    command = readAll(entry.path().string() + "/cmdline");
                } catch (const std::exception&) {
                }
                if (group != ::getpgid(pid) &&
                    command.find("kestrova-guard") == std::string::npos) {
                    found.push_back({child, state, group, command});
                }
            }
        }
    }
    return found;
}

// How many converters under pid convert (rather than probe): their command has -y.
inline std::size_t convertingConverters(pid_t pid) {
    std::set<pid_t> groups;
    for (const ProcessInfo& process : converterProcesses(pid)) {
        if (process.command.find(std::string("\0-y\0", 4)) != std::string::npos) {
            groups.insert(process.group);
        }
    }
    return groups.size();
}

// No child of this process (a subreaper) is left: nothing the program started outlived it. A
// converter killed during its probe may still be on its way out when the program has ended,
// and its parent with it: it then ends as this process's child, which is reaped here.
inline void expectNoProcessLeft() {
    const bool none = waitFor(
        [] {
            int ignored = 0;
            pid_t reaped = 0;
            while ((reaped = ::waitpid(-1, &ignored, WNOHANG)) > 0) {
            }
            return reaped < 0 && errno == ECHILD;
        },
        std::chrono::seconds(10));
    EXPECT_TRUE(none) << "a converter outlived the program";
}

}  // namespace testing_support
