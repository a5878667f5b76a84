#pragma once

// The real engine with its converter run replaced, for the cases the real converter cannot
// produce on demand: a job held at a given percentage until the test lets it go, a job that
// ignores a stop for longer than the engine's stop wait, a job that fails. The run loop, the
// states, the callback and the locking are the engine's own.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "conversion_start.h"
#include "convert_core.h"

namespace testing_support {

class ScriptedCore : public ConvertCore {
public:
    enum class Action {
        Write,     // writes the output at once
        Fail,      // leaves no output
        Hold,      // stands at heldPercent until released or stopped; then writes
        HoldDeaf,  // stands at heldPercent until released, whatever stops come; then writes
    };

    ~ScriptedCore() override {
        releaseAll();
        if (deferred && !started) {
            runState = Stopped;
        }
        waitForConversionEnd(*this);
    }

    // start only marks the batch running; the worker begins at beginWorker().
    void deferStart() { deferred = true; }
    void beginWorker() {
        started = true;
        ConvertCore::start();
    }

    bool start() override {
        if (deferred && !started) {
            runState = Running;
            return true;
        }
        return ConvertCore::start();
    }

    void setAction(const std::string& source, Action action) {
        std::lock_guard<std::mutex> guard(mutex);
        actions[source] = action;
    }

    void releaseAll() {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        wake.notify_all();
    }

    std::vector<std::string> converted() {
        std::lock_guard<std::mutex> guard(mutex);
        return convertedSources;
    }

    std::atomic<int> heldPercent{50};
    // Set while a held job waits.
    std::atomic<bool> holding{false};

    bool convert(const std::string& source, const std::string& output) override {
        Action action = Action::Write;
        {
            std::lock_guard<std::mutex> guard(mutex);
            convertedSources.push_back(source);
            if (auto found = actions.find(source); found != actions.end()) {
                action = found->second;
            }
        }
        if (action == Action::Fail) {
            return true;
        }
        if (action == Action::Hold || action == Action::HoldDeaf) {
            setJobPercent(currentIndex, heldPercent);
            holding = true;
            std::unique_lock<std::mutex> lock(mutex);
            while (!released) {
                if (action == Action::Hold && runState != Running) {
                    holding = false;
                    return true;  // stopped: no output
                }
                wake.wait_for(lock, std::chrono::milliseconds(10));
            }
            holding = false;
        }
        std::ofstream(output, std::ios::binary) << "converted from " << source;
        return true;
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    std::map<std::string, Action> actions;
    std::vector<std::string> convertedSources;
    bool released = false;
    bool deferred = false;
    bool started = false;
};

}  // namespace testing_support
