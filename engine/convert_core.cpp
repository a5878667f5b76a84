#include "convert_core.h"

ConvertCore::ConvertCore() = default;

ConvertCore::~ConvertCore() {
    clearJobs();
}

bool ConvertCore::isReady() {
    return true;
}

bool ConvertCore::hasJob(const std::string& path) const {
    return jobsByPath.count(path) > 0;
}

bool ConvertCore::addJob(const std::string& path) {
    if (hasJob(path)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(jobLock);
    auto job = std::make_unique<ConvertJob>();
    job->index = static_cast<std::int32_t>(jobs.size());
    job->sourcePath = path;
    jobsByPath[path] = job.get();
    jobs.push_back(std::move(job));
    return true;
}

bool ConvertCore::clearJobs() {
    waitForWorker();
    std::lock_guard<std::mutex> guard(jobLock);
    jobs.clear();
    jobsByPath.clear();
    currentIndex = -1;
    return true;
}

bool ConvertCore::getCurrentJob(ConvertJob& out) {
    std::lock_guard<std::mutex> guard(jobLock);
    const int index = currentIndex;
    if (index < 0 || index >= static_cast<int>(jobs.size())) {
        return false;
    }
    out = *jobs[static_cast<std::size_t>(index)];
    return true;
}

void ConvertCore::setJobPercent(int index, int percent) {
    if (index < 0 || index >= jobCount()) {
        return;
    }
    std::lock_guard<std::mutex> guard(jobLock);
    jobs[static_cast<std::size_t>(index)]->percent = percent < 0     ? 0
                                                     : percent > 100 ? 100
                                                                     : percent;
}

int ConvertCore::countFinishedJobs() {
    std::lock_guard<std::mutex> guard(jobLock);
    int finished = 0;
    for (const auto& job : jobs) {
        if (job->percent == 100) {
            ++finished;
        }
    }
    return finished;
}

int ConvertCore::jobCount() const {
    return static_cast<int>(jobs.size());
}

std::vector<int> ConvertCore::jobPercents() {
    std::lock_guard<std::mutex> guard(jobLock);
    std::vector<int> percents;
    percents.reserve(jobs.size());
    for (const auto& job : jobs) {
        percents.push_back(job->percent);
    }
    return percents;
}

std::vector<ConvertJob> ConvertCore::jobSnapshots() {
    std::lock_guard<std::mutex> guard(jobLock);
    std::vector<ConvertJob> copies;
    copies.reserve(jobs.size());
    for (const auto& job : jobs) {
        copies.push_back(*job);
    }
    return copies;
}

void ConvertCore::setJobOutcome(int index, JobOutcome outcome, std::string reason) {
    if (index < 0 || index >= jobCount()) {
        return;
    }
    std::lock_guard<std::mutex> guard(jobLock);
    ConvertJob& job = *jobs[static_cast<std::size_t>(index)];
    job.outcome = outcome;
    job.reason = std::move(reason);
}
