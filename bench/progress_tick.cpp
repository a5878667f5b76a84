// Cost of one tick of the progress window over a batch of 10,000 jobs: a real ProgressWindow,
// shown offscreen, over a real engine whose worker has walked half the batch and stands in the
// conversion of job 5,000 (only the converter run is left out: the job holds until released).
// Measured with Google Benchmark: the usual tick (the current job has a new percentage), a
// tick that finds nothing new, a tick that changes both texts and the bar as when the next job
// starts (the figure: the dearest tick while running), the same with the repaint that follows,
// and the final tick that counts the finished jobs. Run by hand; the last line is the figure.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "bench_support.h"
#include "controls.h"
#include "convert_core.h"
#include "progress_window.h"

namespace {

constexpr int kJobs = 10000;
constexpr int kHeldJob = 5000;

// The engine with its converter run replaced: every job before the held one ends at once
// without output; the held one stands at a percentage until released.
class HoldingCore : public ConvertCore {
public:
    // The worker must be gone before this class is: the engine's own destructor would let it
    // run the real converter for the jobs left.
    ~HoldingCore() override {
        release();
        waitForWorker();
    }

    bool convert(const std::string&, const std::string&) override {
        const int index = currentIndex;
        if (index != kHeldJob) {
            return true;
        }
        setJobPercent(index, 37);
        std::unique_lock<std::mutex> lock(mutex);
        holding = true;
        changed.notify_all();
        changed.wait(lock, [this] { return released; });
        return true;
    }

    // False when the worker did not reach the held job within the deadline.
    bool waitUntilHolding() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [this] { return holding; });
    }

    void release() {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    bool released = false;
};

// Keeps the median per benchmark, by name, as Google Benchmark reports it.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    explicit MedianReporter(bool colour) : ConsoleReporter(colour ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                // Nanoseconds per iteration, whatever the display unit.
                medians[run.run_name.function_name] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) *
                    1e9;
            }
        }
    }
    double microseconds(const std::string& name) const {
        const auto found = medians.find(name);
        return found != medians.end() ? found->second / 1000 : -1;
    }

private:
    std::map<std::string, double> medians;
};

void configure(benchmark::internal::Benchmark* bench) {
    bench->Unit(benchmark::kMicrosecond)->MinTime(0.2)->Repetitions(7)->ReportAggregatesOnly(true);
}

}  // namespace

int main(int argc, char** argv) {
    bench_support::defaultToOffscreen();
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir outputs;
    HoldingCore core;
    core.outputFolder = outputs.path().toStdString();
    core.outputExt = "avi";
    for (int i = 0; i < kJobs; ++i) {
        char path[96];
        std::snprintf(path, sizeof path, "/home/viewer/Videos/Archive %d/Holiday %05d.mkv", i % 7,
                      i);
        core.addJob(path);
    }

    ProgressWindow window(core, nullptr);
    if (!window.progressInit()) {
        std::fprintf(stderr, "the batch did not start\n");
        return 1;
    }
    bench_support::showAndWait(window);
    if (!core.waitUntilHolding() || core.runState != Running || core.currentIndex != kHeldJob) {
        std::fprintf(stderr, "the worker never reached job %d\n", kHeldJob);
        return 1;
    }

    // The benchmarks call the tick themselves; the window's own timer would add ticks.
    if (auto* timer = window.findChild<QTimer*>()) {
        timer->stop();
    }
    auto* batchLabel = window.findChild<QLabel*>(controlName(ids::BatchLine));
    auto* fileLabel = window.findChild<QLabel*>(controlName(ids::FileLine));
    auto* bar = window.findChild<QProgressBar*>(controlName(ids::ProgressBar));
    if (batchLabel == nullptr || fileLabel == nullptr || bar == nullptr) {
        std::fprintf(stderr, "the progress window lacks its controls\n");
        return 1;
    }
    // Untimed: puts back what the window showed before, so that the next tick changes both
    // texts and moves the bar far enough to be redrawn, as when the worker takes the next job.
    const auto forgetShown = [&](benchmark::State& state) {
        state.PauseTiming();
        batchLabel->setText(QStringLiteral("Total 1/10"));
        fileLabel->setText(QStringLiteral("File Name"));
        bar->setRange(0, 100);
        bar->setValue(0);
        state.ResumeTiming();
    };

    // The usual tick: the converter has reported a new percentage for the current job.
    int percent = 0;
    benchmark::RegisterBenchmark("tick_new_percentage", [&](benchmark::State& state) {
        for (auto _ : state) {
            core.setJobPercent(kHeldJob, percent);
            percent = (percent + 1) % 100;
            window.progressTick();
        }
    })->Apply(configure);
    benchmark::RegisterBenchmark("tick_same_percentage", [&](benchmark::State& state) {
        for (auto _ : state) {
            window.progressTick();
        }
    })->Apply(configure);
    benchmark::RegisterBenchmark("tick_everything_changes", [&](benchmark::State& state) {
        for (auto _ : state) {
            forgetShown(state);
            window.progressTick();
        }
    })->Apply(configure);
    // With the repaint of the changed texts, which the event loop does after the tick.
    benchmark::RegisterBenchmark("tick_everything_changes_and_repaint",
                                 [&](benchmark::State& state) {
                                     for (auto _ : state) {
                                         forgetShown(state);
                                         window.progressTick();
                                         bench_support::settle();
                                     }
                                 })
        ->Apply(configure);
    // The end of the batch: the worker walks the rest (untimed), and the last tick counts the
    // finished jobs over the whole queue.
    benchmark::RegisterBenchmark("tick_finished", [&](benchmark::State& state) {
        core.release();
        core.waitForWorker();
        if (core.runState != Finished) {
            state.SkipWithError("the batch did not finish");
        }
        for (auto _ : state) {
            window.progressTick();
        }
    })->Apply(configure);

    MedianReporter reporter(isatty(STDOUT_FILENO) != 0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    window.done(1);

    std::printf(
        "tick with a new percentage us %.2f, with nothing new us %.2f, with the repaint "
        "us %.1f, final tick us %.1f\n",
        reporter.microseconds("tick_new_percentage"), reporter.microseconds("tick_same_percentage"),
        reporter.microseconds("tick_everything_changes_and_repaint"),
        reporter.microseconds("tick_finished"));
    std::printf("tick us %.1f\n", reporter.microseconds("tick_everything_changes"));
    return 0;
}
