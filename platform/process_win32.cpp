#include "process.h"

#include <windows.h>

#include <chrono>
#include <mutex>
#include <string>
#include <utility>

#include "platform.h"
#include "win32_handle.h"
#include "win32_text.h"

namespace platform {

namespace {

// Anonymous pipes cannot be waited on, so a wait that watches output looks at the pipe
// this often.
constexpr DWORD kOutputPollMs = 10;
// Exit code of a child ended by terminate() or kill(); the engine only needs it non-zero.
constexpr UINT kTerminatedCode = 1;
// How long the destructor waits for a child it has killed to be gone.
constexpr DWORD kReapTimeoutMs = 5000;

using win32::Handle;

// The interpreter by its full path, so that no cmd.exe in the current folder or on PATH is
// picked up instead.
std::wstring interpreterPath() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return L"C:\\Windows\\System32\\cmd.exe";
    }
    return std::wstring(folder, length) + L"\\cmd.exe";
}

// /d skips AutoRun commands from the registry and /v:off keeps '!' in paths literal whatever
// the registry says. With /s, cmd drops exactly the outer pair of quotes and runs the rest
// as written. cmd expands %NAME% on its command line even inside quotes, and no escape stops
// it there, so no path is written on it: only the script's own name, relative to the
// interpreter's current folder, which is the script's folder.
std::wstring commandLine(const std::wstring& interpreter, const std::wstring& scriptName) {
    return L"\"" + interpreter + L"\" /d /v:off /s /c \"\".\\" + scriptName + L"\"\"";
}

Handle openNul(DWORD access) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return Handle(CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A pipe whose child end is inheritable and whose parent end is not, so that the child gets
// only its own end. Reports on the debug channel in the engine's words when a step fails.
bool makePipe(Handle& read, Handle& write, bool parentReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(read.out(), write.out(), &inheritable, 0)) {
        debugWrite(parentReads ? "StdoutRd CreatePipe\n" : "Stdin CreatePipe\n");
        return false;
    }
    HANDLE parentEnd = parentReads ? read.get() : write.get();
    if (!SetHandleInformation(parentEnd, HANDLE_FLAG_INHERIT, 0)) {
        debugWrite(parentReads ? "Stdout SetHandleInformation\n" : "Stdin SetHandleInformation\n");
        return false;
    }
    return true;
}

// A job that holds the interpreter and everything it starts, so that the converter itself
// ends with it; closing the job's last handle ends whatever is left.
Handle makeJob() {
    Handle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        return job;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        job.reset();
    }
    return job;
}

}  // namespace

struct Process::Impl {
    Handle process;
    Handle job;
    Handle outputRead;
    Handle inputWrite;
    bool outputEnded = true;
    bool exited = false;
    DWORD exitCode = 0;
    StopTimings stopTimings;

    bool checkExited(DWORD timeoutMs) {
        if (exited) {
            return true;
        }
        if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
            return false;
        }
        GetExitCodeProcess(process.get(), &exitCode);
        exited = true;
        return true;
    }

    // Bytes waiting in the output pipe; notes the pipe's end once every writer has closed it.
    DWORD outputAvailable() {
        if (outputEnded) {
            return 0;
        }
        DWORD available = 0;
        if (!PeekNamedPipe(outputRead.get(), nullptr, 0, nullptr, &available, nullptr)) {
            outputEnded = true;
            return 0;
        }
        return available;
    }

    // Ends the interpreter and everything it started; without a job, the interpreter alone.
    void endAll() {
        if (job) {
            TerminateJobObject(job.get(), kTerminatedCode);
        } else if (!exited) {
            TerminateProcess(process.get(), kTerminatedCode);
        }
    }
};

namespace {

// The child's standard streams, and the parent's ends of its pipes. 0, or the error of the step
// that failed.
struct ChildStreams {
    Handle outputRead, outputWrite, inputRead, inputWrite, errorLog;

    DWORD open(const Process::Options& options) {
        if (options.pipeOutput ? !makePipe(outputRead, outputWrite, true)
                               : !(outputWrite = openNul(GENERIC_WRITE))) {
            return GetLastError();
        }
        if (options.pipeInput) {
            if (!makePipe(inputRead, inputWrite, false)) {
                return GetLastError();
            }
            // Writes never wait for a converter that does not read; the mode is best effort.
            DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
            SetNamedPipeHandleState(inputWrite.get(), &mode, nullptr, nullptr);
        } else if (!(inputRead = openNul(GENERIC_READ))) {
            return GetLastError();
        }
        // The very file the caller made, handed on: never one reopened by its name.
        if (options.errorLog != nullptr &&
            !DuplicateHandle(GetCurrentProcess(),
                             reinterpret_cast<HANDLE>(options.errorLog->native()),
                             GetCurrentProcess(), errorLog.out(), 0, TRUE, DUPLICATE_SAME_ACCESS)) {
            return GetLastError();
        }
        return 0;
    }
};

// Starts cmd on the script, suspended, with the streams; 0 or the system's error.
DWORD spawnScript(const std::wstring& scriptFolder, const std::wstring& scriptName,
                  const ChildStreams& streams, PROCESS_INFORMATION& info) {
    // Streams that are not piped go to the null device, never to this program's console.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.wShowWindow = 0;
    startup.hStdInput = streams.inputRead.get();
    startup.hStdOutput = streams.outputWrite.get();
    startup.hStdError = streams.errorLog ? streams.errorLog.get() : streams.outputWrite.get();
    const std::wstring interpreter = interpreterPath();
    std::wstring command = commandLine(interpreter, scriptName);
    // Suspended until it is in its job, so nothing it starts can escape the job.
    if (!CreateProcessW(interpreter.c_str(), command.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, scriptFolder.c_str(),
                        &startup, &info)) {
        return GetLastError();
    }
    return 0;
}

}  // namespace

Process::Started Process::start(const std::string& scriptPath, const Options& options) {
    Started started;
    const std::wstring script = win32::widen(scriptPath);
    const auto separator = script.find_last_of(L"\\/");
    DWORD error = scriptPath.empty() || separator == std::wstring::npos ? ERROR_PATH_NOT_FOUND : 0;
    if (error == 0 && !fileExists(scriptPath)) {
        error = GetLastError() != 0 ? GetLastError() : ERROR_FILE_NOT_FOUND;
    }
    // Children started meanwhile by other threads would inherit this child's pipe ends and
    // log, and the output pipe would then outlive the converter.
    static std::mutex startMutex;
    std::lock_guard<std::mutex> guard(startMutex);
    ChildStreams streams;
    PROCESS_INFORMATION info{};
    error = error ? error : streams.open(options);
    error = error ? error
                  : spawnScript(script.substr(0, separator + 1), script.substr(separator + 1),
                                streams, info);
    if (error != 0) {
        started.error.code = static_cast<int>(error);
        return started;
    }
    auto impl = std::make_unique<Impl>();
    impl->stopTimings = options.stopTimings;
    impl->process = Handle(info.hProcess);
    Handle thread(info.hThread);
    impl->job = makeJob();
    if (!impl->job || !AssignProcessToJobObject(impl->job.get(), info.hProcess)) {
        // Outside a job the converter could outlive the program: it never runs.
        started.error = lastSystemError();
        started.guardFailed = true;
        TerminateProcess(info.hProcess, kTerminatedCode);
        WaitForSingleObject(info.hProcess, kReapTimeoutMs);
        return started;
    }
    ResumeThread(thread.get());
    impl->outputRead = std::move(streams.outputRead);
    impl->outputEnded = !impl->outputRead;
    impl->inputWrite = std::move(streams.inputWrite);
    // The child's ends close with streams: the output pipe ends once the child and what it
    // started have ended.
    started.process = std::unique_ptr<Process>(new Process(std::move(impl)));
    return started;
}

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Process::~Process() {
    if (!impl_) {
        return;
    }
    StopWalk walk(StopWalk::Clock::now(), static_cast<bool>(impl_->inputWrite), impl_->stopTimings);
    while (!impl_->checkExited(0)) {
        if (const auto action = walk.due(StopWalk::Clock::now())) {
            takeStopAction(*this, *action);
        }
        if (walk.killed()) {
            impl_->checkExited(kReapTimeoutMs);
            break;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(walk.nextDue() - StopWalk::Clock::now());
        impl_->checkExited(static_cast<DWORD>(left.count() > 0 ? left.count() : 0));
    }
    // Whatever the script started and left running goes too.
    impl_->endAll();
}

Process::WaitResult Process::wait(int timeoutMs) {
    Impl& child = *impl_;
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG limit = timeoutMs > 0 ? static_cast<ULONGLONG>(timeoutMs) : 0;
    for (;;) {
        if (child.checkExited(0)) {
            return WaitResult::Exited;
        }
        if (child.outputAvailable() > 0) {
            return WaitResult::Timeout;
        }
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= limit) {
            return WaitResult::Timeout;
        }
        const ULONGLONG left = limit - elapsed;
        // An anonymous pipe cannot be waited on: while it may still deliver, it is looked at
        // every few milliseconds; otherwise only the child's end is waited for.
        const DWORD step =
            static_cast<DWORD>(!child.outputEnded && left > kOutputPollMs ? kOutputPollMs : left);
        if (WaitForSingleObject(child.process.get(), step) == WAIT_FAILED) {
            return WaitResult::Failed;
        }
    }
}

bool Process::waitForOutput(int timeoutMs) {
    Impl& child = *impl_;
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG limit = timeoutMs > 0 ? static_cast<ULONGLONG>(timeoutMs) : 0;
    while (!child.outputEnded) {
        if (child.outputAvailable() > 0) {
            return true;
        }
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (child.outputEnded) {
            break;
        }
        if (elapsed >= limit) {
            return false;
        }
        Sleep(
            static_cast<DWORD>(limit - elapsed > kOutputPollMs ? kOutputPollMs : limit - elapsed));
    }
    return true;
}

std::size_t Process::readOutput(char* buffer, std::size_t size) {
    const DWORD available = impl_->outputAvailable();
    if (available == 0 || size == 0) {
        return 0;
    }
    const DWORD wanted = size < available ? static_cast<DWORD>(size) : available;
    DWORD got = 0;
    if (!ReadFile(impl_->outputRead.get(), buffer, wanted, &got, nullptr)) {
        impl_->outputEnded = true;
        return 0;
    }
    return got;
}

bool Process::outputClosed() const {
    return impl_->outputEnded;
}

bool Process::writeInput(const char* data, std::size_t size) {
    if (!impl_->inputWrite) {
        return false;
    }
    while (size > 0) {
        DWORD written = 0;
        const DWORD piece = size > 65536 ? 65536 : static_cast<DWORD>(size);
        // A child that has closed its input makes this fail (ERROR_NO_DATA); Windows raises no
        // signal for it.
        if (!WriteFile(impl_->inputWrite.get(), data, piece, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// The child has no console of ours to receive a break (CREATE_NO_WINDOW), so there is nothing
// gentler than ending its job: both calls do that.
void Process::terminate() {
    impl_->endAll();
}

void Process::kill() {
    impl_->endAll();
}

bool Process::hasInput() const {
    return static_cast<bool>(impl_->inputWrite);
}

int Process::exitStatus() const {
    if (!impl_->exited) {
        return -1;
    }
    // Crash statuses and exit(-1) do not fit a positive int, and POSIX statuses stop at 255:
    // a failure must still read as one, never as "not started".
    return impl_->exitCode > 255 ? 255 : static_cast<int>(impl_->exitCode);
}

// Windows ends a job's converter through its job object; its files are not guarded.
struct LeftoverGuard::Impl {};

// Nothing to guard here: a job object ends the converters, and what a killed program leaves is
// swept by the next run.
LeftoverGuard::LeftoverGuard(const OutputPlace*) : impl_(std::make_unique<Impl>()) {}

SystemError LeftoverGuard::error() const {
    return {};
}

LeftoverGuard::~LeftoverGuard() = default;

void LeftoverGuard::add(const std::string&) {}

}  // namespace platform
