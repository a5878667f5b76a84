#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace testing_support {

// Generous: other builds may share the machine's two cores.
inline constexpr std::chrono::seconds kWaitLimit{60};

// Polls a condition until it holds or the deadline passes; true when it held.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::steady_clock::duration limit = kWaitLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace testing_support
