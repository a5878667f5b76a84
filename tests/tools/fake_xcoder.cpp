// A stand-in converter for what the real one cannot do on demand: exact timing of "q", deafness
// to "q" and SIGTERM, failing after part of its output, odd or enormous console text.
//
// It takes the converter's two argument lists (probe: -i SOURCE; convert: -y -i SOURCE ...
// OUTPUT) and reads its behaviour from SOURCE, one command per line ('#' starts a comment):
//
//   duration HH:MM:SS.xx  the probe prints a "Duration:" line with this value (else none), and a
//                         run that reaches the recipe's end prints a last status line at it
//   end-time HH:MM:SS.xx  that last status line's time instead (a source cut short)
//   probe-sleep MS        the probe takes this long
//   probe-flood BYTES     the probe prints this much more text after its "Duration:" line
//   events PATH           appends "NAME MS" lines (probe, probe-end, start, q, term, end),
//                         MS of CLOCK_MONOTONIC (GetTickCount64 on Windows); and "pid PID" first
//   args PATH             appends the arguments received, each ended by a zero byte
//   on-q quit|ignore      "q" on standard input ends the run with status 0 (default), or not
//   on-term ignore        SIGTERM is recorded and ignored (default: recorded, then fatal);
//                         Windows has no such request, only termination, which records nothing
//   output TEXT           writes TEXT as the whole output file
//   print TEXT            writes TEXT on standard error; \r \n \t \0 \\ are escapes
//   flood BYTES TEXT      writes TEXT over and over until BYTES have gone to standard error
//   sleep MS              waits, reading standard input meanwhile
//   wait-for PATH         waits (reading standard input) until PATH exists, at most 60 s
//   exit STATUS           ends now with STATUS (the end of the recipe is exit 0)
//   raise SEGV|KILL       dies on that signal, without leaving a core file
//
// The convert run executes the commands in order; the probe uses only the first four.
//
// The same program builds for Windows, where Wine cannot give a Linux program a Windows
// child's pipes: file names then arrive and are used in UTF-16.

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int eventsFd = -1;
bool quitOnQ = true;
bool stdinOpen = true;

std::int64_t monotonicMs() {
#ifdef _WIN32
    return static_cast<std::int64_t>(GetTickCount64());
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
}

void sleepMs(std::int64_t ms) {
    if (ms <= 0) {
        return;
    }
#ifdef _WIN32
    Sleep(static_cast<DWORD>(ms));
#else
    poll(nullptr, 0, static_cast<int>(ms));
#endif
}

// A UTF-8 path for the file streams; on Windows a plain std::string would be read in the ANSI
// code page.
std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

int openForAppend(const std::string& path) {
#ifdef _WIN32
    return _wopen(fsPath(path).c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY,
                  _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
#endif
}

void writeFd(int fd, const char* data, std::size_t size) {
#ifdef _WIN32
    [[maybe_unused]] const int ignored = _write(fd, data, static_cast<unsigned>(size));
#else
    [[maybe_unused]] const ssize_t ignored = write(fd, data, size);
#endif
}

// Async-signal-safe: formats by hand and writes once.
void recordValue(const char* name, std::int64_t value) {
    if (eventsFd < 0) {
        return;
    }
    char line[64];
    std::size_t length = 0;
    for (const char* c = name; *c != '\0' && length < 32; ++c) {
        line[length++] = *c;
    }
    line[length++] = ' ';
    char digits[24];
    std::size_t count = 0;
    for (; value > 0 || count == 0; value /= 10) {
        digits[count++] = static_cast<char>('0' + value % 10);
    }
    while (count > 0) {
        line[length++] = digits[--count];
    }
    line[length++] = '\n';
    writeFd(eventsFd, line, length);
}

void recordEvent(const char* name) {
    recordValue(name, monotonicMs());
}

#ifndef _WIN32
void onTermIgnored(int) {
    recordEvent("term");
}

void onTermFatal(int signal) {
    recordEvent("term");
    ::signal(signal, SIG_DFL);
    raise(signal);
}
#endif

[[noreturn]] void finish(int status, const char* event = "end") {
    recordEvent(event);
    std::exit(status);
}

void writeErr(const std::string& text) {
#ifdef _WIN32
    // Straight to the handle: the C library's text mode would add carriage returns.
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(error, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                       nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
#else
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        done += static_cast<std::size_t>(written);
    }
#endif
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            default:
                out += text[i];
                break;
        }
    }
    return out;
}

void takeInput(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] == 'q') {
            recordEvent("q");
            if (quitOnQ) {
                finish(0);
            }
        }
    }
}

// Reads what standard input holds, waiting up to timeoutMs; "q" may end the run.
#ifdef _WIN32
void readInput(int timeoutMs) {
    // A pipe cannot be waited on: it is looked at every few milliseconds.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const bool pipe = GetFileType(input) == FILE_TYPE_PIPE;
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonicMs());
        DWORD available = 0;
        if (stdinOpen && pipe && !PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
            stdinOpen = false;
        }
        if (!stdinOpen || (pipe && available == 0)) {
            if (left == 0) {
                return;
            }
            sleepMs(stdinOpen ? std::min<std::int64_t>(left, 5) : left);
            continue;
        }
        char bytes[64];
        DWORD got = 0;
        const DWORD wanted = pipe ? std::min<DWORD>(available, sizeof bytes) : sizeof bytes;
        if (!ReadFile(input, bytes, wanted, &got, nullptr) || got == 0) {
            stdinOpen = false;
            continue;
        }
        takeInput(bytes, got);
        if (left == 0) {
            return;
        }
    }
}
#else
void readInput(int timeoutMs) {
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const auto left = static_cast<int>(std::max<std::int64_t>(0, deadline - monotonicMs()));
        if (!stdinOpen) {
            if (left == 0) {
                return;
            }
            poll(nullptr, 0, left);
            continue;
        }
        pollfd entry{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&entry, 1, left);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return;
        }
        char bytes[64];
        const ssize_t got = read(STDIN_FILENO, bytes, sizeof bytes);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            stdinOpen = false;
            continue;
        }
        takeInput(bytes, static_cast<std::size_t>(got));
        if (left == 0) {
            return;
        }
    }
}
#endif

struct Command {
    std::string name;
    std::string rest;
};

std::vector<Command> readRecipe(const std::string& path, bool& readable) {
    std::ifstream in(fsPath(path), std::ios::binary);
    readable = static_cast<bool>(in);
    std::vector<Command> commands;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto blank = line.find(' ');
        commands.push_back({line.substr(0, blank),
                            blank == std::string::npos ? std::string() : line.substr(blank + 1)});
    }
    return commands;
}

void applySettings(const std::vector<Command>& recipe, const std::vector<std::string>& args) {
    bool ignoreTerm = false;
    for (const Command& command : recipe) {
        if (command.name == "events") {
            eventsFd = openForAppend(command.rest);
        } else if (command.name == "args") {
            const int fd = openForAppend(command.rest);
            for (const std::string& arg : args) {
                writeFd(fd, arg.c_str(), arg.size() + 1);
            }
#ifdef _WIN32
            _close(fd);
#else
            close(fd);
#endif
        } else if (command.name == "on-q") {
            quitOnQ = command.rest != "ignore";
        } else if (command.name == "on-term") {
            ignoreTerm = command.rest == "ignore";
        }
    }
#ifdef _WIN32
    (void)ignoreTerm;
#else
    signal(SIGTERM, ignoreTerm ? onTermIgnored : onTermFatal);
#endif
}

int probe(const std::string& source, const std::vector<Command>& recipe) {
    recordEvent("probe");
    std::string duration;
    int sleepMs = 0;
    long long flood = 0;
    for (const Command& command : recipe) {
        if (command.name == "duration") {
            duration = command.rest;
        } else if (command.name == "probe-sleep") {
            sleepMs = std::atoi(command.rest.c_str());
        } else if (command.name == "probe-flood") {
            flood = std::atoll(command.rest.c_str());
        }
    }
    std::string text = "Input #0, matroska,webm, from '" + source + "':\n";
    if (!duration.empty()) {
        text += "  Duration: " + duration + ", start: 0.000000, bitrate: 100 kb/s\n";
    }
    text += "  Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps\n";
    writeErr(text);
    const std::string block(65536, 'x');
    for (long long left = flood; left > 0; left -= static_cast<long long>(block.size())) {
        writeErr(block.substr(0, static_cast<std::size_t>(std::min<long long>(left, 65536))));
    }
    for (const std::int64_t until = monotonicMs() + sleepMs; monotonicMs() < until;) {
        ::sleepMs(until - monotonicMs());
    }
    writeErr("At least one output file must be specified\n");
    finish(1, "probe-end");
}

// A converter's last report at its natural end gives the whole run's position.
void printLastReport(const std::vector<Command>& recipe) {
    std::string time;
    for (const Command& command : recipe) {
        if (command.name == "duration" && time.empty()) {
            time = command.rest;
        } else if (command.name == "end-time") {
            time = command.rest;
        }
    }
    if (!time.empty()) {
        writeErr("frame=    1 fps=0.0 q=0.0 Lsize=       1kB time=" + time +
                 " bitrate=   1.0kbits/s\n");
    }
}

int convert(const std::string& output, const std::vector<Command>& recipe) {
    recordEvent("start");
    for (const Command& command : recipe) {
        readInput(0);
        if (command.name == "output") {
            std::ofstream(fsPath(output), std::ios::binary | std::ios::trunc)
                << unescape(command.rest);
        } else if (command.name == "print") {
            writeErr(unescape(command.rest));
        } else if (command.name == "flood") {
            std::istringstream words(command.rest);
            long long bytes = 0;
            words >> bytes;
            std::string unit;
            std::getline(words >> std::ws, unit);
            unit = unescape(unit.empty() ? std::string("x") : unit);
            std::string block;
            while (block.size() < 65536) {
                block += unit;
            }
            for (long long left = bytes; left > 0;) {
                const auto size = static_cast<std::size_t>(
                    std::min<long long>(left, static_cast<long long>(block.size())));
                writeErr(block.substr(0, size));
                left -= static_cast<long long>(size);
                readInput(0);
            }
        } else if (command.name == "sleep") {
            readInput(std::atoi(command.rest.c_str()));
        } else if (command.name == "wait-for") {
            std::error_code ignored;
            for (int waited = 0;
                 waited < 60000 && !std::filesystem::exists(fsPath(command.rest), ignored);
                 waited += 20) {
                readInput(20);
            }
        } else if (command.name == "exit") {
            finish(std::atoi(command.rest.c_str()));
        } else if (command.name == "raise") {
#ifdef _WIN32
            // No signals here: end the way a crashed Windows program does.
            TerminateProcess(GetCurrentProcess(), 0xC0000005);
#else
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            const int signal = command.rest == "KILL" ? SIGKILL : SIGSEGV;
            ::signal(signal, SIG_DFL);
            raise(signal);
#endif
        }
    }
    printLastReport(recipe);
    finish(0);
}

int run(const std::vector<std::string>& args) {
    std::string source;
    bool overwrite = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-y") {
            overwrite = true;
        } else if (args[i] == "-i" && i + 1 < args.size()) {
            source = args[++i];
        }
    }
    bool readable = false;
    const std::vector<Command> recipe = readRecipe(source, readable);
    if (!readable) {
        writeErr(source + ": No such file or directory\n");
        return 1;
    }
    applySettings(recipe, args);
#ifdef _WIN32
    recordValue("pid", static_cast<std::int64_t>(GetCurrentProcessId()));
#else
    recordValue("pid", getpid());
#endif
    if (!overwrite) {
        return probe(source, recipe);
    }
    return convert(args.back(), recipe);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::u8string text = std::filesystem::path(argv[i]).u8string();
        args.emplace_back(text.begin(), text.end());
    }
    return run(args);
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
