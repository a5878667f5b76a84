#pragma once

// The Linux side of the real-converter tests: Debian's ffmpeg makes short clips and its
// ffprobe reads what the converter wrote. Under Wine they run as Linux programs on the same
// files, which Wine starts detached and without our handles, so their text and status come
// back through files.

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "temp_dir.h"
#include "waiting.h"

namespace host_tools {

struct Run {
    int status = -1;
    std::string output;
};

// One word for the host's shell.
inline std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The host's own form of a path of the test programs.
inline std::string hostPath(const std::string& path) {
#ifdef _WIN32
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    const std::wstring wide = testing_support::fsPath(path).wstring();
    char* unix = toUnix != nullptr ? toUnix(wide.c_str()) : nullptr;
    if (unix == nullptr) {
        return {};
    }
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
#else
    return path;
#endif
}

// Runs a command line in the host's shell with its errors joined to its output.
inline Run shell(const testing_support::TempDir& scratch, const std::string& command) {
    static std::atomic<int> serial{0};
    const std::string name = "host" + std::to_string(serial++);
    const std::string base = scratch.file(name);
    Run run;
#ifdef _WIN32
    const std::string done = base + ".status";
    const std::string script = scratch.write(
        name + ".sh", "(" + command + ") > " + quote(hostPath(base) + ".out") +
                          " 2>&1\necho $? > " + quote(hostPath(base) + ".tmp") + "\nmv " +
                          quote(hostPath(base) + ".tmp") + " " + quote(hostPath(done)) + "\n");
    std::wstring commandLine =
        L"sh \"" + testing_support::fsPath(hostPath(script)).wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return run;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    if (!testing_support::waitFor([&done] { return !testing_support::readAll(done).empty(); })) {
        return run;
    }
    run.status = std::stoi(testing_support::readAll(done));
    run.output = testing_support::readAll(base + ".out");
#else
    const std::string script = scratch.write(name + ".sh", "(" + command + ") 2>&1\n");
    platform::Process::Options options;
    options.pipeOutput = true;
    auto child = platform::Process::startScript(script, options);
    if (!child) {
        return run;
    }
    char buffer[4096];
    testing_support::waitFor([&] {
        const auto result = child->wait(200);
        for (std::size_t got; (got = child->readOutput(buffer, sizeof buffer)) > 0;) {
            run.output.append(buffer, got);
        }
        return result != platform::Process::WaitResult::Timeout;
    });
    run.status = child->exitStatus();
#endif
    return run;
}

// Writes a Matroska clip with video and audio at path: 320x240 at 25 frames per second.
inline bool makeClip(const testing_support::TempDir& scratch, const std::string& path,
                     int seconds) {
    const std::string d = std::to_string(seconds);
    const Run run =
        shell(scratch, quote(KESTROVA_HOST_FFMPEG) +
                           " -nostdin -v error -y -f lavfi -i testsrc=size=320x240:"
                           "rate=25:duration=" +
                           d + " -f lavfi -i sine=frequency=440:duration=" + d +
                           " -c:v mpeg4 -q:v 5 -c:a libvorbis -shortest " + quote(hostPath(path)));
    EXPECT_EQ(run.status, 0) << run.output;
    return run.status == 0;
}

// Stream facts of a media file, one map per stream; empty when ffprobe cannot read it.
inline std::vector<std::map<std::string, std::string>> streams(
    const testing_support::TempDir& scratch, const std::string& path) {
    const std::string text =
        shell(scratch, quote(KESTROVA_FFPROBE) +
                           " -v error -show_entries stream=codec_type,codec_name,width,height,"
                           "r_frame_rate -of default=noprint_wrappers=1 " +
                           quote(hostPath(path)))
            .output;
    std::vector<std::map<std::string, std::string>> result;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        if (key == "codec_name") {
            result.emplace_back();
        }
        if (!result.empty()) {
            result.back()[key] = line.substr(equals + 1);
        }
    }
    return result;
}

// The playing time of a media file in whole seconds, as ffprobe reads it; -1 when it cannot.
inline int mediaSeconds(const testing_support::TempDir& scratch, const std::string& path) {
    const Run run = shell(scratch, quote(KESTROVA_FFPROBE) +
                                       " -v error -show_entries format=duration -of csv=p=0 " +
                                       quote(hostPath(path)));
    if (run.status != 0 || run.output.empty()) {
        return -1;
    }
    return static_cast<int>(std::stod(run.output) + 0.5);
}

}  // namespace host_tools
