#pragma once

// A helper program run as a child of the test, read line by line and told to go on with a line
// of its own: the batch runner (the engine as another user) and the name swapper (an attacker).

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "process.h"
#include "script.h"

namespace engine_testing {

class LineChild {
public:
    // environment: NAME=VALUE words set for the program only.
    LineChild(const testing_support::TempDir& scratch, const std::string& program,
              const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment = {}) {
        std::string command = "exec env";
        for (const std::string& setting : environment) {
            command += " " + shellQuote(setting);
        }
        command += " " + shellQuote(program);
        for (const std::string& argument : arguments) {
            command += " " + shellQuote(argument);
        }
        static int serial = 0;
        const std::string script =
            scratch.write("child" + std::to_string(++serial) + ".sh", command + "\n");
        platform::Process::Options options;
        options.pipeOutput = true;
        options.pipeInput = true;
        child_ = platform::Process::startScript(script, options);
    }

    // The next line it prints, without its line end; "" when it ended or the time ran out.
    std::string line() {
        const auto deadline = Clock::now() + kLimit;
        for (;;) {
            const auto end = text_.find('\n');
            if (end != std::string::npos) {
                std::string first = text_.substr(0, end);
                text_.erase(0, end + 1);
                return first;
            }
            if (!child_ || Clock::now() > deadline) {
                return {};
            }
            char buffer[4096];
            const std::size_t got = child_->readOutput(buffer, sizeof buffer);
            if (got > 0) {
                text_.append(buffer, got);
            } else if (child_->outputClosed()) {
                return {};
            } else {
                child_->waitForOutput(200);
            }
        }
    }

    // Lets it go on from a wait.
    void go() { child_->writeInput("\n", 1); }

private:
    std::unique_ptr<platform::Process> child_;
    std::string text_;
};

}  // namespace engine_testing
