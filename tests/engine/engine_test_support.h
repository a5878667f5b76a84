#pragma once

// What the engine's run tests share: a private data folder, the fake converter and its
// recipes, a capture of the debug channel, and waiting on conditions with deadlines.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <time.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "convert_core.h"
#include "platform.h"
#include "temp_dir.h"
#include "waiting.h"

namespace engine_testing {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kLimit = testing_support::kWaitLimit;
using testing_support::waitFor;

// Milliseconds of CLOCK_MONOTONIC (GetTickCount64 on Windows), the clock the fake converter
// stamps its events with.
inline std::int64_t monotonicMs() {
#ifdef _WIN32
    return static_cast<std::int64_t>(GetTickCount64());
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
}

struct Event {
    std::string name;
    std::int64_t ms;
};

inline std::vector<Event> readEvents(const std::string& path) {
    std::ifstream in(path);
    std::vector<Event> events;
    for (Event event; in >> event.name >> event.ms;) {
        events.push_back(event);
    }
    return events;
}

inline std::vector<std::int64_t> eventTimes(const std::vector<Event>& events,
                                            const std::string& name) {
    std::vector<std::int64_t> times;
    for (const Event& event : events) {
        if (event.name == name) {
            times.push_back(event.ms);
        }
    }
    return times;
}

// True once the process is gone, or a zombie that only the system is left to reap.
inline bool processGone(std::int64_t pid) {
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        return true;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
#else
    if (::kill(static_cast<pid_t>(pid), 0) != 0) {
        return true;
    }
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
#endif
}

#ifndef _WIN32
// What the process holds, for the fault and soak suites (POSIX only: /proc).

// Open descriptors of this process.
inline int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count - 1;  // the iterator's own
}

// Children of this process, running or not yet reaped.
inline int childProcesses() {
    int count = 0;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream in(entry.path() / "stat");
        const std::string stat((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(close + 1));
        std::string state;
        std::string parent;
        if (fields >> state >> parent && parent == self) {
            ++count;
        }
    }
    return count;
}

// Resident memory of this process in bytes.
inline std::int64_t residentBytes() {
    std::ifstream in("/proc/self/statm");
    std::int64_t size = 0;
    std::int64_t resident = 0;
    in >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}
#endif

// Collects the debug channel for the life of the object.
class DebugCapture {
public:
    DebugCapture() {
        previous_ = platform::setDebugSink([this](std::string_view text) {
            std::lock_guard<std::mutex> guard(mutex_);
            text_.append(text);
        });
    }
    ~DebugCapture() { platform::setDebugSink(std::move(previous_)); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::string text() {
        std::lock_guard<std::mutex> guard(mutex_);
        return text_;
    }

private:
    std::mutex mutex_;
    std::string text_;
    platform::DebugSink previous_;
};

// An engine test that runs things: a private data folder that must be left empty, a folder
// for sources and outputs, and the fake converter as the tool.
class EngineRunTest : public ::testing::Test {
protected:
    EngineRunTest() : home_(data_.path()) {
        core.toolPath = KESTROVA_FAKE_CONVERTER;
        core.outputFolder = work.file("out");
        core.outputExt = "avi";
        std::filesystem::create_directories(core.outputFolder);
    }

    ~EngineRunTest() override {
        core.waitForWorker();
        expectNoLeftovers();
    }

    // Scripts and logs are deleted by the code that made them.
    void expectNoLeftovers() {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data_.path())) {
            EXPECT_TRUE(entry.is_directory() && entry.path().filename() == "Vantrel")
                << "left behind: " << entry.path();
        }
    }

    // Writes a source whose content is the fake converter's recipe.
    std::string source(const std::string& name, const std::string& recipe) {
        return work.write(name, recipe);
    }

    std::string eventsPath(const std::string& name = "events") { return work.file(name); }
    std::string eventsLine(const std::string& name = "events") {
        return "events " + eventsPath(name) + "\n";
    }

    std::string outputFor(const std::string& name) {
        return core.buildOutputPath(work.file(name), core.outputFolder);
    }

    // Starts the batch and waits until the worker has ended.
    void runBatch() { runBatch(core); }
    void runBatch(ConvertCore& engine) {
        engine.start();
        waitForEnd(engine);
    }

    void waitForEnd() { waitForEnd(core); }
    void waitForEnd(ConvertCore& engine) {
        ASSERT_TRUE(waitFor([&engine] {
            const int state = engine.runState;
            return state == Stopped || state == Finished;
        }));
        engine.waitForWorker();
    }

    // After a fault the engine still takes a new batch and converts it.
    void expectNewBatchWorks(ConvertCore& engine) {
        engine.clearJobs();
        engine.toolPath = KESTROVA_FAKE_CONVERTER;
        engine.outputFolder = work.file("again");
        engine.confirmCallback = nullptr;
        std::filesystem::create_directories(engine.outputFolder);
        const std::string name = "again" + std::to_string(++batchesAfterFaults_);
        engine.addJob(source(name + ".mkv", "output fine\n"));
        runBatch(engine);
        EXPECT_EQ(engine.runState, Finished);
        EXPECT_EQ(engine.jobPercents(), std::vector<int>{100});
        EXPECT_EQ(testing_support::readAll(engine.outputFolder + "/" + name + ".avi"), "fine");
    }

    // Polls the current job's percent while the state is Running; every value seen.
    std::vector<int> samplePercents() {
        std::vector<int> seen;
        const auto deadline = Clock::now() + kLimit;
        while (core.runState == Running && Clock::now() < deadline) {
            ConvertJob job;
            if (core.getCurrentJob(job) && core.runState == Running) {
                seen.push_back(job.percent);
            }
            std::this_thread::sleep_for(20ms);
        }
        return seen;
    }

private:
    int batchesAfterFaults_ = 0;
    testing_support::TempDir data_;
    testing_support::ScopedDataHome home_;

protected:
    testing_support::TempDir work;
    ConvertCore core;
};

}  // namespace engine_testing
