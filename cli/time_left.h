#pragma once

// How long a batch has left: the bytes of the sources still to convert at the rate the batch
// has converted bytes so far (sources of one batch are alike), refined by how far the running
// files are, and smoothed so that the figure counts down rather than jumps.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class TimeLeft {
public:
    using Clock = std::chrono::steady_clock;

    struct Timing {
        // Work before the first estimate: until then a rate says little.
        Clock::duration firstAfter = std::chrono::seconds(5);
        // How quickly the estimate follows a new figure (the time constant of the smoothing);
        // zero follows at once.
        Clock::duration smoothing = std::chrono::seconds(5);
    };

    struct Running {
        int index = 0;
        double fraction = 0;  // of the source converted, 0 to 1
    };

    // sourceBytes: each job's source size in queue order (unknown sizes as 0); engines: how
    // many convert at once.
    TimeLeft(std::vector<std::int64_t> sourceBytes, int engines, Timing timing);

    // A job ended. converted: its source went through the converter (converted, or only in
    // part), so its bytes count as work done; otherwise (kept, failed, stopped) they leave the
    // batch without counting.
    void jobEnded(int index, bool converted);

    // One look at the batch at now. working: some engine converts rather than waits for an
    // answer to the replace question (time spent waiting is no work). The estimate in seconds
    // once there is one.
    std::optional<double> update(Clock::time_point now, const std::vector<Running>& running,
                                 bool working);

private:
    std::optional<double> figure(const std::vector<Running>& running) const;

    std::vector<std::int64_t> bytes_;
    std::vector<bool> ended_;
    const int engines_;
    const Timing timing_;
    double doneBytes_ = 0;
    double pendingBytes_ = 0;  // of the jobs not ended, running ones whole
    std::optional<Clock::time_point> last_;
    Clock::duration work_{};
    std::optional<double> estimate_;
};

// "about 3 min left"; "about 1 h 20 min left" from an hour; "less than a minute left" below
// 45 s. Minutes are rounded to the nearest.
std::string timeLeftText(double seconds);

}  // namespace cli
