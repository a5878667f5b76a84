#include "terminal.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "child_groups.h"

namespace cli {

namespace {

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) {
    stopFlag.store(true);
}

// A handler rather than SIG_IGN: an ignored signal would be inherited by the converter.
extern "C" void onBrokenPipe(int) {}

// A stop from the terminal (Ctrl-Z, or a read or write from the background) reaches only the
// program's own process group: the converters are stopped first, then the program itself.
// Whatever continues the program (fg, bg) returns here and continues them. SIGSTOP rather than
// the signal's default: it cannot be caught, so no run-time that wraps handlers can lose it,
// and sent to this thread it stops the program before the converters are continued.
extern "C" void onSuspend(int) {
    const int savedErrno = errno;
    platform::signalChildGroups(SIGSTOP);
    ::raise(SIGSTOP);
    platform::signalChildGroups(SIGCONT);
    errno = savedErrno;
}

void setHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

}  // namespace

std::vector<std::string> startTerminal(int argc, char** argv) {
    // File names are bytes here, passed on as they are.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void installStopHandlers() {
    setHandler(SIGINT, onStopSignal);
    setHandler(SIGTERM, onStopSignal);
    // A closed terminal would otherwise end the program and leave the converter running.
    setHandler(SIGHUP, onStopSignal);
    // A reader of standard output that went away must not end the program mid-batch.
    setHandler(SIGPIPE, onBrokenPipe);
    // A program started with these ignored (no job control) leaves them so.
    for (const int signal : {SIGTSTP, SIGTTIN, SIGTTOU}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            setHandler(signal, onSuspend);
        }
    }
}

bool stopRequested() {
    return stopFlag.load();
}

bool stdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int terminalColumns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

bool enableCursorMovement() {
    // Every terminal a POSIX system offers takes them.
    return true;
}

std::optional<std::string> readAnswerLine() {
    std::string line;
    for (;;) {
        if (stopRequested()) {
            return std::nullopt;
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&input, 1, 100);
        if (ready < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (ready <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
}

}  // namespace cli
