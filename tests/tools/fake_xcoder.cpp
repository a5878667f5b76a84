// A stand-in converter for what the real one cannot do on demand: exact timing of "q", deafness
// to "q" and SIGTERM, failing after part of its output, odd or enormous console text.
//
// It takes the converter's two argument lists (probe: -i SOURCE; convert: -y -i SOURCE ...
// OUTPUT) and reads its behaviour from SOURCE, one command per line ('#' starts a comment):
//
//   duration HH:MM:SS.xx  the probe prints a "Duration:" line with this value (else none)
//   probe-sleep MS        the probe takes this long
//   events PATH           appends "NAME MS" lines (probe, probe-end, start, q, term, end),
//                         MS of CLOCK_MONOTONIC; and "pid PID" first
//   on-q quit|ignore      "q" on standard input ends the run with status 0 (default), or not
//   on-term ignore        SIGTERM is recorded and ignored (default: recorded, then fatal)
//   output TEXT           writes TEXT as the whole output file
//   print TEXT            writes TEXT on standard error; \r \n \t \0 \\ are escapes
//   flood BYTES TEXT      writes TEXT over and over until BYTES have gone to standard error
//   sleep MS              waits, reading standard input meanwhile
//   exit STATUS           ends now with STATUS (the end of the recipe is exit 0)
//
// The convert run executes the commands in order; the probe uses only the first three.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int eventsFd = -1;
bool quitOnQ = true;
bool stdinOpen = true;

std::int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
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
    [[maybe_unused]] const ssize_t ignored = write(eventsFd, line, length);
}

void recordEvent(const char* name) {
    recordValue(name, monotonicMs());
}

void onTermIgnored(int) {
    recordEvent("term");
}

void onTermFatal(int signal) {
    recordEvent("term");
    ::signal(signal, SIG_DFL);
    raise(signal);
}

[[noreturn]] void finish(int status, const char* event = "end") {
    recordEvent(event);
    std::exit(status);
}

void writeErr(const std::string& text) {
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

// Reads what standard input holds, waiting up to timeoutMs; "q" may end the run.
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
        for (ssize_t i = 0; i < got; ++i) {
            if (bytes[i] == 'q') {
                recordEvent("q");
                if (quitOnQ) {
                    finish(0);
                }
            }
        }
        if (left == 0) {
            return;
        }
    }
}

struct Command {
    std::string name;
    std::string rest;
};

std::vector<Command> readRecipe(const std::string& path, bool& readable) {
    std::ifstream in(path, std::ios::binary);
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

void applySettings(const std::vector<Command>& recipe) {
    bool ignoreTerm = false;
    for (const Command& command : recipe) {
        if (command.name == "events") {
            eventsFd = open(command.rest.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        } else if (command.name == "on-q") {
            quitOnQ = command.rest != "ignore";
        } else if (command.name == "on-term") {
            ignoreTerm = command.rest == "ignore";
        }
    }
    signal(SIGTERM, ignoreTerm ? onTermIgnored : onTermFatal);
}

int probe(const std::string& source, const std::vector<Command>& recipe) {
    recordEvent("probe");
    std::string duration;
    int sleepMs = 0;
    for (const Command& command : recipe) {
        if (command.name == "duration") {
            duration = command.rest;
        } else if (command.name == "probe-sleep") {
            sleepMs = std::atoi(command.rest.c_str());
        }
    }
    std::string text = "Input #0, matroska,webm, from '" + source + "':\n";
    if (!duration.empty()) {
        text += "  Duration: " + duration + ", start: 0.000000, bitrate: 100 kb/s\n";
    }
    text += "  Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps\n";
    writeErr(text);
    for (const std::int64_t until = monotonicMs() + sleepMs; monotonicMs() < until;) {
        poll(nullptr, 0, static_cast<int>(until - monotonicMs()));
    }
    writeErr("At least one output file must be specified\n");
    finish(1, "probe-end");
}

int convert(const std::string& output, const std::vector<Command>& recipe) {
    recordEvent("start");
    for (const Command& command : recipe) {
        readInput(0);
        if (command.name == "output") {
            std::ofstream(output, std::ios::binary | std::ios::trunc) << unescape(command.rest);
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
        } else if (command.name == "exit") {
            finish(std::atoi(command.rest.c_str()));
        }
    }
    finish(0);
}

}  // namespace

int main(int argc, char** argv) {
    std::string source;
    bool overwrite = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-y") == 0) {
            overwrite = true;
        } else if (std::strcmp(argv[i], "-i") == 0 && i + 1 < argc) {
            source = argv[++i];
        }
    }
    bool readable = false;
    const std::vector<Command> recipe = readRecipe(source, readable);
    if (!readable) {
        writeErr(source + ": No such file or directory\n");
        return 1;
    }
    applySettings(recipe);
    recordValue("pid", getpid());
    if (!overwrite) {
        return probe(source, recipe);
    }
    return convert(argv[argc - 1], recipe);
}
