#include "time_left.h"

#include <algorithm>
#include <cmath>

namespace cli {

namespace {

double seconds(TimeLeft::Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

}  // namespace

TimeLeft::TimeLeft(std::vector<std::int64_t> sourceBytes, int engines, Timing timing)
    : bytes_(std::move(sourceBytes)),
      ended_(bytes_.size(), false),
      engines_(std::max(1, engines)),
      timing_(timing) {
    for (std::int64_t& size : bytes_) {
        size = std::max<std::int64_t>(size, 0);
        pendingBytes_ += static_cast<double>(size);
    }
}

void TimeLeft::jobEnded(int index, bool converted) {
    if (index < 0 || index >= static_cast<int>(bytes_.size()) || ended_[index]) {
        return;
    }
    ended_[index] = true;
    const auto size = static_cast<double>(bytes_[index]);
    pendingBytes_ -= size;
    if (converted) {
        doneBytes_ += size;
    }
}

std::optional<double> TimeLeft::figure(const std::vector<Running>& running) const {
    double done = doneBytes_;
    double remaining = pendingBytes_;
    for (const Running& job : running) {
        if (job.index < 0 || job.index >= static_cast<int>(bytes_.size()) || ended_[job.index]) {
            continue;
        }
        const double converted =
            std::clamp(job.fraction, 0.0, 1.0) * static_cast<double>(bytes_[job.index]);
        done += converted;
        remaining -= converted;
    }
    if (work_ < timing_.firstAfter || done <= 0) {
        return std::nullopt;
    }
    const double rate = done / seconds(work_);
    double left = std::max(remaining, 0.0) / rate;
    // The batch's rate is that of all engines together; a file still running takes at least
    // what one engine needs for the rest of it, however few files are left for the others.
    const double rateOfOne = rate / engines_;
    for (const Running& job : running) {
        if (job.index >= 0 && job.index < static_cast<int>(bytes_.size()) && !ended_[job.index]) {
            const double rest =
                (1 - std::clamp(job.fraction, 0.0, 1.0)) * static_cast<double>(bytes_[job.index]);
            left = std::max(left, rest / rateOfOne);
        }
    }
    return left;
}

std::optional<double> TimeLeft::update(Clock::time_point now, const std::vector<Running>& running,
                                       bool working) {
    const Clock::duration step =
        last_ ? std::max(now - *last_, Clock::duration{}) : Clock::duration{};
    last_ = now;
    if (!working) {
        // Waiting for an answer: neither the rate nor the figure moves.
        return estimate_;
    }
    work_ += step;
    const std::optional<double> fresh = figure(running);
    if (!fresh) {
        return estimate_;
    }
    if (!estimate_ || timing_.smoothing <= Clock::duration{}) {
        estimate_ = fresh;
        return estimate_;
    }
    // The shown figure counts down by the time that passed and moves part of the way towards
    // the new one: a file that converts faster or slower than the ones before bends the figure
    // instead of making it jump.
    const double counted = std::max(*estimate_ - seconds(step), 0.0);
    const double weight = 1 - std::exp(-seconds(step) / seconds(timing_.smoothing));
    estimate_ = counted + weight * (*fresh - counted);
    return estimate_;
}

std::string timeLeftText(double seconds) {
    if (seconds < 45) {
        return "less than a minute left";
    }
    const long minutes = std::max(1L, std::lround(seconds / 60));
    if (minutes < 60) {
        return "about " + std::to_string(minutes) + " min left";
    }
    std::string text = "about " + std::to_string(minutes / 60) + " h";
    if (minutes % 60 != 0) {
        text += " " + std::to_string(minutes % 60) + " min";
    }
    return text + " left";
}

}  // namespace cli
