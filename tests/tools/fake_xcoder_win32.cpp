// A stand-in for the converter, as a Windows console program (Wine cannot give a native Linux
// program the pipes of a Windows child). It takes the converter's two argument lists and
// reads what to do from the source file named after -i, one key=value per line:
//
//   duration=00:00:10.00   the clock value of the "Duration:" line (none: no such line)
//   steps=5                status lines printed while converting, one per step
//   step_ms=100            pause between status lines
//   on_q=quit              quit|ignore: what "q" on standard input does
//   exit=0                 exit status of a convert run that was not asked to quit
//   record=PATH            append the arguments received, UTF-8, each ended by a zero byte
//
// Like the real tool it writes everything to standard error, creates the output file when
// it starts converting, exits with 0 after "q", and exits with 1 after a probe.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> quitRequested{false};

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length, nullptr, nullptr);
    return result;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

std::map<std::string, std::string> readBehaviour(const std::wstring& path) {
    std::map<std::string, std::string> behaviour;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return behaviour;
    }
    std::string text;
    char piece[4096];
    for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, file)) > 0;) {
        text.append(piece, got);
    }
    std::fclose(file);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            behaviour[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    return behaviour;
}

std::string value(const std::map<std::string, std::string>& behaviour, const std::string& key,
                  const std::string& fallback) {
    const auto found = behaviour.find(key);
    return found == behaviour.end() ? fallback : found->second;
}

void say(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void record(const std::wstring& path, int argc, wchar_t** argv) {
    FILE* file = _wfopen(path.c_str(), L"ab");
    if (file == nullptr) {
        return;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string argument = utf8(argv[i]);
        std::fwrite(argument.c_str(), 1, argument.size() + 1, file);
    }
    std::fclose(file);
}

void watchInput() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char byte = 0;
    DWORD got = 0;
    while (ReadFile(input, &byte, 1, &got, nullptr) && got == 1) {
        if (byte == 'q') {
            quitRequested = true;
        }
    }
}

std::string clock(int centiseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%02d", centiseconds / 360000,
                  centiseconds / 6000 % 60, centiseconds / 100 % 60, centiseconds % 100);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring source;
    std::vector<std::wstring> rest;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"-i" && i + 1 < argc) {
            source = argv[++i];
        } else if (std::wstring(argv[i]) != L"-y") {
            rest.emplace_back(argv[i]);
        }
    }
    const auto behaviour = readBehaviour(source);
    const std::string recordPath = value(behaviour, "record", "");
    if (!recordPath.empty()) {
        record(wide(recordPath), argc, argv);
    }

    say("fake xcoder version 1\n");
    if (source.empty() || behaviour.empty()) {
        say(utf8(source) + ": No such file or directory\n");
        return 1;
    }
    say("Input #0, matroska,webm, from '" + utf8(source) + "':\n");
    const std::string duration = value(behaviour, "duration", "");
    if (!duration.empty()) {
        say("  Duration: " + duration + ", start: 0.000000, bitrate: 1000 kb/s\n");
    }
    if (rest.empty()) {
        say("At least one output file must be specified\n");
        return 1;
    }

    std::thread(watchInput).detach();
    const bool ignoreQuit = value(behaviour, "on_q", "quit") == "ignore";
    const int steps = std::atoi(value(behaviour, "steps", "5").c_str());
    const int stepMs = std::atoi(value(behaviour, "step_ms", "100").c_str());
    FILE* output = _wfopen(rest.back().c_str(), L"wb");
    if (output == nullptr) {
        say(utf8(rest.back()) + ": Permission denied\n");
        return 1;
    }
    say("Output #0, avi, to '" + utf8(rest.back()) + "':\nPress [q] to stop, [?] for help\n");
    for (int step = 1; step <= steps; ++step) {
        if (quitRequested && !ignoreQuit) {
            std::fclose(output);
            say("\n[q] command received. Exiting.\n\n");
            return 0;
        }
        Sleep(static_cast<DWORD>(stepMs));
        std::fputs("RIFF", output);
        std::fflush(output);
        say("frame=" + std::to_string(step * 25) + " fps=25 q=2.0 size=" + std::to_string(step) +
            "kB time=" + clock(step * 100) + " bitrate=1000.0kbits/s speed=1x    \r");
    }
    std::fclose(output);
    say("\n");
    return std::atoi(value(behaviour, "exit", "0").c_str());
}
