// Start-up time of the desktop program: from the moment a process is started until its main
// window has been shown and painted, offscreen. Each run starts startup_probe (the program's
// own start-up code with an observer, beside this benchmark) as a fresh process, with its
// settings in a private folder, and reads the probe's notes of the steady clock. Run by hand:
// startup [runs]; the last line is the figure.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

long long steadyNanoseconds(Clock::time_point moment) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(moment.time_since_epoch()).count();
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "startup: %s\n", what.c_str());
    std::exit(1);
}

struct Run {
    double toMain = 0;   // process start to the first line of main, ms
    double toShown = 0;  // process start to the window shown, ms
};

// The number after "<key> " in the probe's output; -1 when absent.
long long noteOf(const std::string& output, const std::string& key) {
    const std::size_t at = output.find(key + ' ');
    return at == std::string::npos ? -1 : std::atoll(output.c_str() + at + key.size() + 1);
}

Run runOnce(const std::string& probe) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        fail("no pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    char* const arguments[] = {const_cast<char*>(probe.c_str()), nullptr};

    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, probe.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        fail("cannot start " + probe);
    }

    // Read until the probe ends, for at most a minute.
    std::string output;
    const Clock::time_point deadline = start + std::chrono::seconds(60);
    char buffer[256];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            kill(child, SIGKILL);
            break;
        }
        pollfd readable{pipeEnds[0], POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(left.count())) < 0) {
            continue;
        }
        const ssize_t count = read(pipeEnds[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        output.append(buffer, static_cast<std::size_t>(count));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);

    const long long mainAt = noteOf(output, "main");
    const long long shownAt = noteOf(output, "shown");
    if (mainAt < 0 || shownAt < 0) {
        fail("the probe never showed its window");
    }
    const long long startAt = steadyNanoseconds(start);
    return {(mainAt - startAt) / 1e6, (shownAt - startAt) / 1e6};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 7;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string probe = (self.parent_path() / "startup_probe").string();

    // The probe reads and, when it closes, writes the program's settings: keep them private.
    std::string config = (std::filesystem::temp_directory_path() / "kestrova-bench-XXXXXX");
    if (mkdtemp(config.data()) == nullptr) {
        fail("no temporary folder");
    }
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::vector<double> toMain;
    std::vector<double> toShown;
    for (int run = 0; run < runs; ++run) {
        const Run figures = runOnce(probe);
        std::printf("run %d: main after ms %.1f, window shown after ms %.1f\n", run + 1,
                    figures.toMain, figures.toShown);
        toMain.push_back(figures.toMain);
        toShown.push_back(figures.toShown);
    }
    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);

    const double shown = median(toShown);
    const double reachedMain = median(toMain);
    std::printf("process start to main ms %.1f, main to window shown ms %.1f (medians of %d)\n",
                reachedMain, shown - reachedMain, runs);
    std::printf("startup ms %.0f\n", shown);
    return 0;
}
