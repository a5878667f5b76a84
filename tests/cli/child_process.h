#pragma once

// Starting programs from the tests: ffmpeg to make clips, the built kestrova-cli to run it as a
// user does. Arguments go straight to exec, never through a shell.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace testing_support {

struct SpawnOptions {
    std::vector<std::string> extraEnvironment;  // NAME=value, added to or replacing ours
    std::string stdoutPath;                     // empty: inherit (or stdoutFd)
    int stdoutFd = -1;                          // a descriptor of ours as standard output
    std::string stderrPath;                     // empty: inherit
};

// Starts argv[0] (searched in PATH when it has no slash). Returns the pid, or -1.
inline pid_t spawnProgram(const std::vector<std::string>& argv, const SpawnOptions& options = {}) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const std::string& extra : options.extraEnvironment) {
            const auto name = extra.substr(0, extra.find('=') + 1);
            replaced = replaced || text.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            environment.push_back(text);
        }
    }
    environment.insert(environment.end(), options.extraEnvironment.begin(),
                       options.extraEnvironment.end());

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& entry : environment) {
        env.push_back(const_cast<char*>(entry.c_str()));
    }
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (options.stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, options.stdoutFd, STDOUT_FILENO);
    } else if (!options.stdoutPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    if (!options.stderrPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// Waits until the child ends or the deadline passes. Returns its exit status (128 + signal
// when killed), or nothing on time-out, in which case the child is killed and reaped.
inline std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds deadline) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd ready{pidfd, POLLIN, 0};
        const int got = ::poll(&ready, 1, static_cast<int>(deadline.count()));
        ::close(pidfd);
        if (got == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return std::nullopt;
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return std::nullopt;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}

inline std::optional<int> runProgram(
    const std::vector<std::string>& argv, const SpawnOptions& options = {},
    std::chrono::milliseconds deadline = std::chrono::seconds(120)) {
    const pid_t pid = spawnProgram(argv, options);
    if (pid < 0) {
        return std::nullopt;
    }
    return waitForExit(pid, deadline);
}

// A short Matroska clip from ffmpeg's test sources: pictures and a tone.
inline bool makeClip(const std::string& path, int seconds = 1,
                     const std::string& size = "160x120") {
    const std::string duration = std::to_string(seconds);
    const auto status =
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=" + size + ":rate=25:duration=" + duration, "-f", "lavfi", "-i",
                    "sine=duration=" + duration, "-c:v", "mpeg4", "-c:a", "aac", path});
    return status == 0;
}

// A long clip made cheaply: a short one repeated by copying, not encoding.
inline bool makeLongClip(const std::string& path, const std::string& scratch, int repeats) {
    if (!makeClip(scratch, 2, "640x480")) {
        return false;
    }
    const auto status =
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-stream_loop",
                    std::to_string(repeats - 1), "-i", scratch, "-c", "copy", path});
    return status == 0;
}

}  // namespace testing_support
