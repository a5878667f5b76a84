#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <utility>
#include <vector>

#include "child_groups.h"
#include "output_file_posix.h"
#include "posix_descriptor.h"

extern char** environ;

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Without a pidfd the child's end is looked for this often.
constexpr int kFallbackSliceMs = 10;

// The guardian: a shell that waits on a pipe from the program. The program writes "done" before
// it reaps the child; an end of the pipe without it means the program has gone, and the
// guardian ends the child's group and removes the files left unfinished. It never signals after
// the program has reaped the child, so a reused group id is never reached.
constexpr const char* kGuardianScript =
    "IFS= read -r word; [ \"$word\" = done ] && exit 0; "
    "kill -s KILL -- \"-$1\" 2>/dev/null; shift; [ $# -gt 0 ] && rm -f -- \"$@\"; exit 0";

// The leftover guard's helper: it collects the files it is given, one encoded word a line
// ("+WORD"), and removes them all when its pipe ends without "done". A word is the name's bytes,
// each one outside [A-Za-z0-9/._-] written as \0 and three octal digits, which printf's %b
// turns back into the byte; a line cut short by the program's end has no line end and is
// dropped, so no shortened name is ever removed.
// Given a job's output place, it holds the private folder as descriptor 3 and the output folder
// as descriptor 4, and empties and removes the private folder through them: by no name that
// another user could have changed meanwhile.
constexpr const char* kLeftoverScript =
    "set -f; list=; "
    "while IFS= read -r line; do case $line in done) exit 0;; +*) list=\"$list ${line#+}\";; "
    "esac; done; "
    "for word in $list; do name=$(printf '%bx' \"$word\"); rm -f -- \"${name%x}\"; done; "
    "[ -n \"$1\" ] || exit 0; set +f; "
    "rm -f -- /proc/self/fd/3/* /proc/self/fd/3/.[!.]* 2>/dev/null; "
    "rmdir -- \"/proc/self/fd/4/$1\" 2>/dev/null; exit 0";

std::atomic<bool> pidfdEnabled{true};
std::atomic<int> guardianFailure{0};

using Fd = FileDescriptor;

// Moves a descriptor above the three standard ones: a program started with one of them closed
// would otherwise get a pipe end there, which the child's dup2 would leave close-on-exec.
bool aboveStandard(Fd& fd) {
    if (fd.get() > STDERR_FILENO) {
        return true;
    }
    const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0) {
        return false;
    }
    fd.reset(moved);
    return true;
}

bool makePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return aboveStandard(readEnd) && aboveStandard(writeEnd);
}

bool setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

Fd openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    if (pidfdEnabled) {
        return Fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    }
#else
    (void)pid;
#endif
    return Fd();
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// The spawn attributes and file actions, destroyed with the object.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    bool actionsReady = false;
    bool attributesReady = false;

    SpawnSetup() {
        actionsReady = posix_spawn_file_actions_init(&actions) == 0;
        attributesReady = posix_spawnattr_init(&attributes) == 0;
    }
    ~SpawnSetup() {
        if (actionsReady) {
            posix_spawn_file_actions_destroy(&actions);
        }
        if (attributesReady) {
            posix_spawnattr_destroy(&attributes);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Writes without raising a signal in the program (and, on a non-blocking pipe, without waiting
// on a full one); the count written, or -1. A reader that has gone would raise SIGPIPE, which
// ends the program by default, so it is blocked on this thread and the one this write raised is
// taken back.
ssize_t writeSomeQuietly(int fd, const char* data, std::size_t size) {
    sigset_t pipeSignal;
    sigset_t previousMask;
    sigset_t pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigemptyset(&pending);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);
    ssize_t written;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    if (written < 0 && errno == EPIPE && !alreadyPending) {
        const timespec noWait{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    return written;
}

bool writeQuietly(int fd, const char* data, std::size_t size) {
    const ssize_t written = writeSomeQuietly(fd, data, size);
    return written >= 0 && static_cast<std::size_t>(written) == size;
}

// Sets up the spawn of a child in a group of its own, with the given standard streams; 0, or
// the error of the step that failed. A group of its own: terminal signals meant for the program
// do not reach it, and a stop can end the script and everything it started together. Signal
// dispositions and the mask are reset, since ignored signals would otherwise be inherited across
// exec. The descriptors from 3 up are given as they are (extra), every other one is closed.
int prepareSpawn(SpawnSetup& setup, int inputFd, int outputFd, int errorFd,
                 const std::vector<int>& extra = {}, int workFolder = -1) {
    if (!setup.actionsReady || !setup.attributesReady) {
        return ENOMEM;
    }
    posix_spawn_file_actions_t* actions = &setup.actions;
    int error = posix_spawn_file_actions_adddup2(actions, inputFd, STDIN_FILENO);
    error = error ? error : posix_spawn_file_actions_adddup2(actions, outputFd, STDOUT_FILENO);
    error = error ? error : posix_spawn_file_actions_adddup2(actions, errorFd, STDERR_FILENO);
    int next = STDERR_FILENO + 1;
    for (const int fd : extra) {
        error = error ? error : posix_spawn_file_actions_adddup2(actions, fd, next++);
    }
    if (workFolder >= 0) {
        // Held, so that the converter is given a bare name in the very folder the job made.
        error = error ? error : posix_spawn_file_actions_addfchdir_np(actions, workFolder);
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors that other code left inheritable must not keep our pipes open either.
    error = error ? error : posix_spawn_file_actions_addclosefrom_np(actions, next);
#endif
    sigset_t emptySet;
    sigset_t allSignals;
    sigemptyset(&emptySet);
    sigfillset(&allSignals);
    posix_spawnattr_t* attributes = &setup.attributes;
    error = error ? error
                  : posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETPGROUP |
                                                             POSIX_SPAWN_SETSIGMASK |
                                                             POSIX_SPAWN_SETSIGDEF);
    error = error ? error : posix_spawnattr_setpgroup(attributes, 0);
    error = error ? error : posix_spawnattr_setsigmask(attributes, &emptySet);
    return error ? error : posix_spawnattr_setsigdefault(attributes, &allSignals);
}

// Runs /bin/sh with the words after it; 0 or the spawn's error.
int spawnShell(SpawnSetup& setup, std::vector<std::string> words, pid_t& pid) {
    words.insert(words.begin(), "/bin/sh");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return posix_spawn(&pid, "/bin/sh", &setup.actions, &setup.attributes, argv.data(), environ);
}

// Starts the guardian of the group led by child; its pipe's write end comes back in control.
// 0, or why it could not be started.
int startGuardian(pid_t child, const std::vector<std::string>& files, const Fd& nullDevice,
                  Fd& control, pid_t& guardian) {
    if (const int failure = guardianFailure.load()) {
        return failure;
    }
    Fd watch;
    if (!makePipe(watch, control)) {
        return errno;
    }
    SpawnSetup setup;
    int error = prepareSpawn(setup, watch.get(), nullDevice.get(), nullDevice.get());
    std::vector<std::string> words = {"-c", kGuardianScript, "kestrova-guard",
                                      std::to_string(child)};
    words.insert(words.end(), files.begin(), files.end());
    error = error ? error : spawnShell(setup, std::move(words), guardian);
    if (error != 0) {
        control.reset();
    }
    return error;
}

// A word for the leftover guard's helper.
std::string leftoverWord(const std::string& path) {
    std::string word = "+";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '/' || byte == '.' ||
                           byte == '_' || byte == '-';
        if (plain) {
            word += c;
        } else {
            word += "\\0";
            word += static_cast<char>('0' + (byte >> 6));
            word += static_cast<char>('0' + ((byte >> 3) & 7));
            word += static_cast<char>('0' + (byte & 7));
        }
    }
    word += '\n';
    return word;
}

}  // namespace

struct LeftoverGuard::Impl {
    pid_t helper = -1;
    Fd control;
    SystemError error;
};

LeftoverGuard::LeftoverGuard(const OutputPlace* place) : impl_(std::make_unique<Impl>()) {
    Fd watch;
    Fd nullDevice(::open("/dev/null", O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!nullDevice || !aboveStandard(nullDevice) || !makePipe(watch, impl_->control)) {
        impl_->error = lastSystemError();
        impl_->control.reset();
        return;
    }
    std::vector<int> folders;
    std::vector<std::string> words = {"-c", kLeftoverScript, "kestrova-guard-files"};
    if (place != nullptr) {
        folders = {place->impl().privateFolder.get(), place->impl().outputFolder.get()};
        words.push_back(place->impl().privateName);
    }
    SpawnSetup setup;
    int error = prepareSpawn(setup, watch.get(), nullDevice.get(), nullDevice.get(), folders);
    error = error ? error : spawnShell(setup, std::move(words), impl_->helper);
    if (error != 0) {
        impl_->error.code = error;
        impl_->helper = -1;
        impl_->control.reset();
    }
}

SystemError LeftoverGuard::error() const {
    return impl_->error;
}

LeftoverGuard::~LeftoverGuard() {
    if (impl_->helper <= 0) {
        return;
    }
    constexpr std::string_view kDone = "done\n";
    writeQuietly(impl_->control.get(), kDone.data(), kDone.size());
    impl_->control.reset();
    while (::waitpid(impl_->helper, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void LeftoverGuard::add(const std::string& path) {
    if (impl_->control && !path.empty()) {
        const std::string word = leftoverWord(path);
        // Whole, since a line cut short would be dropped.
        for (std::size_t done = 0; done < word.size();) {
            const ssize_t written =
                writeSomeQuietly(impl_->control.get(), word.data() + done, word.size() - done);
            if (written <= 0) {
                break;
            }
            done += static_cast<std::size_t>(written);
        }
    }
}

// Test hook: the next guardians fail to start with this error (0: they start again).
void setGuardianFailureForTesting(int error) {
    guardianFailure = error;
}

// Test hook: forces the short-poll used where pidfd_open is missing.
void setPidfdEnabledForTesting(bool enabled) {
    pidfdEnabled = enabled;
}

struct Process::Impl {
    pid_t pid = -1;
    pid_t guardian = -1;
    Fd guardianControl;
    Fd pidfd;
    Fd outRead;
    Fd inWrite;
    bool outEnded = true;
    bool exited = false;
    // The child was reaped (by us, or by the system when SIGCHLD is ignored): its id is no
    // longer ours to signal.
    bool reaped = false;
    int status = -1;
    StopTimings stopTimings;

    // Looks at the child's end without reaping it, so that its process and group ids stay
    // reserved for signals until the destructor reaps.
    bool checkExited() {
        if (exited) {
            return true;
        }
        siginfo_t info{};
        int result;
        do {
            result = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        } while (result < 0 && errno == EINTR);
        if (result < 0) {
            // ECHILD: reaped behind our back (SIGCHLD ignored); anything else: unknowable.
            exited = true;
            reaped = true;
            return true;
        }
        if (info.si_pid == 0) {
            return false;
        }
        exited = true;
        status = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
        return true;
    }

    // Waits for the child's end only, ignoring output.
    bool waitExit(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!checkExited()) {
            const int left = remainingMs(deadline);
            if (left <= 0) {
                return false;
            }
            if (pidfd) {
                pollfd entry{pidfd.get(), POLLIN, 0};
                if (::poll(&entry, 1, left) < 0 && errno != EINTR) {
                    pidfd.reset();
                }
            } else {
                ::poll(nullptr, 0, std::min(left, kFallbackSliceMs));
            }
        }
        return true;
    }

    void signalGroup(int signal) const {
        if (!reaped && pid > 0) {
            ::kill(-pid, signal);
        }
    }

    // Tells the guardian that the program itself ends the group, and waits for it to go.
    void releaseGuardian() {
        if (guardian <= 0) {
            return;
        }
        constexpr std::string_view kDone = "done\n";
        writeQuietly(guardianControl.get(), kDone.data(), kDone.size());
        guardianControl.reset();
        while (::waitpid(guardian, nullptr, 0) < 0 && errno == EINTR) {
        }
        guardian = -1;
    }
};

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

namespace {

// The interpreter moves the script's descriptor to 10 or above; below that it cannot even read
// the script, and says only "Invalid argument".
constexpr rlim_t kDescriptorsNeeded = 16;

// 0 when the script can be given to the interpreter, else why not.
int checkScript(const std::string& scriptPath) {
    struct stat info {};
    if (scriptPath.empty()) {
        return ENOENT;
    }
    if (::stat(scriptPath.c_str(), &info) != 0 || ::access(scriptPath.c_str(), R_OK) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode)) {
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kDescriptorsNeeded) {
        return EMFILE;
    }
    return 0;
}

// The child's standard streams, and the parent's ends of its pipes.
struct ChildStreams {
    Fd outRead, outWrite, inRead, inWrite, nullDevice, errorLog;

    // 0, or the error of the step that failed.
    int open(const Process::Options& options) {
        if (options.pipeOutput &&
            (!makePipe(outRead, outWrite) || !setNonBlocking(outRead.get()))) {
            return errno;
        }
        if (options.pipeInput && (!makePipe(inRead, inWrite) || !setNonBlocking(inWrite.get()))) {
            return errno;
        }
        nullDevice.reset(::open("/dev/null", O_RDWR | O_CLOEXEC | O_NOCTTY));
        if (!nullDevice || !aboveStandard(nullDevice)) {
            return errno;
        }
        if (options.errorLog != nullptr) {
            // The very file the caller made, never one reopened by its name.
            errorLog.reset(::fcntl(static_cast<int>(options.errorLog->native()), F_DUPFD_CLOEXEC,
                                   STDERR_FILENO + 1));
            if (!errorLog) {
                return errno;
            }
        }
        return 0;
    }
};

// Spawns the interpreter on the script with the streams; 0 or the error of the step that failed.
int spawnScript(const std::string& scriptPath, const ChildStreams& streams,
                const Process::Options& options, pid_t& pid) {
    SpawnSetup setup;
    const int inputFd = streams.inRead ? streams.inRead.get() : streams.nullDevice.get();
    const int outputFd = streams.outWrite ? streams.outWrite.get() : streams.nullDevice.get();
    const int errorFd = streams.errorLog ? streams.errorLog.get() : outputFd;
    const int workFolder =
        options.workFolder != nullptr ? options.workFolder->impl().privateFolder.get() : -1;
    const int error = prepareSpawn(setup, inputFd, outputFd, errorFd, {}, workFolder);
    return error ? error : spawnShell(setup, {"--", scriptPath}, pid);
}

}  // namespace

Process::Started Process::start(const std::string& scriptPath, const Options& options) {
    Started started;
    ChildStreams streams;
    pid_t pid = -1;
    int error = checkScript(scriptPath);
    error = error ? error : streams.open(options);
    error = error ? error : spawnScript(scriptPath, streams, options, pid);
    if (error != 0) {
        started.error.code = error;
        return started;
    }
    registerChildGroup(pid);
    auto impl = std::make_unique<Impl>();
    impl->pid = pid;
    impl->stopTimings = options.stopTimings;
    impl->pidfd = openPidfd(pid);
    impl->outRead = std::move(streams.outRead);
    impl->inWrite = std::move(streams.inWrite);
    impl->outEnded = !impl->outRead;
    error = startGuardian(pid, options.removeIfAbandoned, streams.nullDevice, impl->guardianControl,
                          impl->guardian);
    // The child's ends (its pipe ends, the null device, the log) close with streams, so the
    // output pipe ends with the child and a read never waits on a writer of our own.
    auto process = std::unique_ptr<Process>(new Process(std::move(impl)));
    if (error != 0) {
        // Unguarded, the converter could outlive the program: it goes at once, and is reaped.
        process->impl_->guardian = -1;
        process->kill();
        started.error.code = error;
        started.guardFailed = true;
        return started;
    }
    started.process = std::move(process);
    return started;
}

Process::~Process() {
    if (!impl_) {
        return;
    }
    Impl& child = *impl_;
    unregisterChildGroup(child.pid);
    if (!child.reaped) {
        StopWalk walk(StopWalk::Clock::now(), static_cast<bool>(child.inWrite), child.stopTimings);
        while (!child.checkExited()) {
            if (const auto action = walk.due(StopWalk::Clock::now())) {
                takeStopAction(*this, *action);
            }
            if (walk.killed()) {
                break;
            }
            child.waitExit(remainingMs(walk.nextDue()));
        }
        // Whatever the script started and left behind goes too; the unreaped leader keeps the
        // group id from being reused until this has been sent.
        child.signalGroup(SIGKILL);
    }
    // Before the reap, so that the guardian can never signal a group id that is free again.
    child.releaseGuardian();
    if (!child.reaped) {
        while (::waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

Process::WaitResult Process::wait(int timeoutMs) {
    Impl& child = *impl_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    for (;;) {
        if (child.checkExited()) {
            return WaitResult::Exited;
        }
        const int left = remainingMs(deadline);
        if (left <= 0) {
            return WaitResult::Timeout;
        }
        pollfd entries[2];
        nfds_t count = 0;
        int pidIndex = -1;
        int outIndex = -1;
        if (child.pidfd) {
            pidIndex = static_cast<int>(count);
            entries[count++] = pollfd{child.pidfd.get(), POLLIN, 0};
        }
        if (!child.outEnded) {
            outIndex = static_cast<int>(count);
            entries[count++] = pollfd{child.outRead.get(), POLLIN, 0};
        }
        const int slice = child.pidfd ? left : std::min(left, kFallbackSliceMs);
        const int ready = ::poll(count > 0 ? entries : nullptr, count, slice);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WaitResult::Failed;
        }
        if (outIndex >= 0 && entries[outIndex].revents != 0) {
            if ((entries[outIndex].revents & POLLIN) != 0) {
                return WaitResult::Timeout;
            }
            // Hung up with nothing left to read: every writer has closed the pipe.
            child.outEnded = true;
        }
        if (pidIndex >= 0 && (entries[pidIndex].revents & (POLLERR | POLLNVAL)) != 0) {
            child.pidfd.reset();
        }
    }
}

bool Process::waitForOutput(int timeoutMs) {
    Impl& child = *impl_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    while (!child.outEnded) {
        pollfd entry{child.outRead.get(), POLLIN, 0};
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready < 0 && errno != EINTR) {
            child.outEnded = true;
        } else if (ready > 0) {
            if ((entry.revents & POLLIN) != 0) {
                return true;
            }
            child.outEnded = true;
        } else if (ready == 0) {
            return false;
        }
    }
    return true;
}

std::size_t Process::readOutput(char* buffer, std::size_t size) {
    Impl& child = *impl_;
    if (child.outEnded || size == 0) {
        return 0;
    }
    for (;;) {
        const ssize_t got = ::read(child.outRead.get(), buffer, size);
        if (got > 0) {
            return static_cast<std::size_t>(got);
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        }
        child.outEnded = true;
        return 0;
    }
}

bool Process::outputClosed() const {
    return impl_->outEnded;
}

bool Process::writeInput(const char* data, std::size_t size) {
    Impl& child = *impl_;
    return child.inWrite && writeQuietly(child.inWrite.get(), data, size);
}

void Process::terminate() {
    impl_->signalGroup(SIGTERM);
}

void Process::kill() {
    impl_->signalGroup(SIGKILL);
}

bool Process::hasInput() const {
    return static_cast<bool>(impl_->inWrite);
}

int Process::exitStatus() const {
    return impl_->status;
}

}  // namespace platform
