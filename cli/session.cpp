#include "session.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>

#include "batch_ledger.h"
#include "convert_checks.h"
#include "convert_core.h"
#include "media_preset.h"
#include "messages.h"
#include "outcome_text.h"
#include "platform.h"
#include "progress_text.h"
#include "time_left.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(100);

class Session;

// One engine of the batch. It runs one job at a time and tells the session at once when that
// job's run has ended, instead of at the next tick.
class Engine : public ConvertCore {
public:
    explicit Engine(Session& session) : session_(session) {}
    ~Engine() override { waitForWorker(); }

    void onRunFinished() override;

    Session& session() { return session_; }

    std::atomic<bool> ended{false};
    // The batch's index of the job it runs, -1 when free: set before its worker starts and
    // cleared after it ended, so the worker may read it too.
    int job = -1;
    // Main thread only: how far that job was at the last look.
    int percent = 0;
    int durationSeconds = 0;

private:
    Session& session_;
};

enum class StopCause { None, Signal, Quit, Output };

class Session {
public:
    Session(Console& console, Report& report, const BatchSetup& setup)
        : console_(console),
          report_(report),
          setup_(setup),
          count_(static_cast<int>(setup.sources.size())),
          jobs_(setup.sources.size()),
          timeLeft_(sourceSizes(setup.sources), setup.engines, console.timeLeftTiming) {
        const auto ledger = std::make_shared<BatchLedger>();
        for (int k = 0; k < setup.engines; ++k) {
            auto engine = std::make_unique<Engine>(*this);
            rules::setUpBatch(*engine, setup.toolPath, setup.outputFolder, *setup.presets,
                              setup.preset);
            engine->sharedLedger = ledger;
            engine->onSwept = [this](const std::string& path) { report_.swept(path); };
            engine->confirmCallback = &Session::confirm;
            engine->confirmContext = reinterpret_cast<std::intptr_t>(engine.get());
            engines_.push_back(std::move(engine));
        }
        for (int k = 0; k < count_; ++k) {
            ConvertJob& job = jobs_[static_cast<std::size_t>(k)];
            job.index = k;
            job.sourcePath = setup.sources[static_cast<std::size_t>(k)];
            job.outputPath = engines_.front()->buildOutputPath(job.sourcePath, setup.outputFolder);
            pending_.push_back(k);
        }
    }

    int run() {
        const bool debugToConsole = [] {
            const char* value = std::getenv("KESTROVA_DEBUG");
            return value != nullptr && *value != '\0';
        }();
        platform::DebugSink previousSink;
        if (debugToConsole) {
            previousSink =
                platform::setDebugSink([this](std::string_view text) { report_.message(text); });
        }

        start_ = Clock::now();
        report_.batchStarted({count_, setup_.skipped, setup_.preset,
                              setup_.presets->presetName(setup_.preset), setup_.outputFolder,
                              static_cast<int>(engines_.size())});
        follow();

        if (debugToConsole) {
            platform::setDebugSink(std::move(previousSink));
        }
        // A stop asked for after the last job ended still means the user stopped the program:
        // the batch is not reported complete.
        if (cause_ == StopCause::None && interrupted()) {
            cause_ = StopCause::Signal;
        }
        const BatchState state = currentState();
        for (const ConvertJob& job : jobs_) {
            if (!reported_[static_cast<std::size_t>(job.index)]) {
                report_.jobEnded(job, state);
            }
        }
        const int status = exitStatus();
        report_.summary(cause_ != StopCause::None, jobs_, state, status);
        if (const auto failure = report_.outputFailure()) {
            if (cause_ != StopCause::Output) {
                report_.message("kestrova-cli: cannot write to standard output: " + *failure +
                                "\n");
            }
            return kExitSomeNotFinished;
        }
        return status;
    }

    void wake() {
        std::lock_guard<std::mutex> guard(wakeMutex_);
        woken_ = true;
        wakeSignal_.notify_all();
    }

private:
    static std::vector<std::int64_t> sourceSizes(const std::vector<std::string>& sources) {
        std::vector<std::int64_t> sizes;
        for (const std::string& source : sources) {
            sizes.push_back(platform::fileSize(source));
        }
        return sizes;
    }

    void follow() {
        reported_.assign(jobs_.size(), false);
        auto nextTick = Clock::now();
        for (;;) {
            collectEnded();
            checkStop();
            if (cause_ == StopCause::None) {
                feed();
            }
            if (busy() == 0 && (cause_ != StopCause::None || pending_.empty())) {
                break;
            }
            const auto now = Clock::now();
            if (now >= nextTick) {
                // After a stop the display stays as the stop found it.
                if (cause_ == StopCause::None) {
                    tick(now);
                }
                nextTick = now + kTick;
            }
            std::unique_lock<std::mutex> lock(wakeMutex_);
            wakeSignal_.wait_until(lock, nextTick, [this] { return woken_; });
            woken_ = false;
        }
    }

    int busy() const {
        int count = 0;
        for (const auto& engine : engines_) {
            count += engine->job >= 0 ? 1 : 0;
        }
        return count;
    }

    // Free engines take the next jobs in argument order. A job whose output name is that of a
    // job still running waits until that one ends: the batch's ledger then refuses it as the
    // later of the two, as one engine alone would, rather than whichever engine came first.
    void feed() {
        for (const auto& engine : engines_) {
            if (engine->job >= 0) {
                continue;
            }
            const auto next = std::find_if(pending_.begin(), pending_.end(),
                                           [this](int k) { return !outputInUse(k); });
            if (next == pending_.end()) {
                return;
            }
            const int k = *next;
            pending_.erase(next);
            const ConvertJob& job = jobs_[static_cast<std::size_t>(k)];
            engine->clearJobs();
            engine->addJob(job.sourcePath);
            engine->ended = false;
            engine->job = k;
            engine->percent = 0;
            engine->durationSeconds = 0;
            ++started_;
            report_.jobStarted(k, job.sourcePath, job.outputPath, currentState());
            if (!engine->start()) {
                // No worker: the job was not started, and is collected as such.
                engine->ended = true;
            }
        }
    }

    bool outputInUse(int k) const {
        const std::string& output = jobs_[static_cast<std::size_t>(k)].outputPath;
        for (const auto& engine : engines_) {
            if (engine->job >= 0 &&
                jobs_[static_cast<std::size_t>(engine->job)].outputPath == output) {
                return true;
            }
        }
        return false;
    }

    void collectEnded() {
        for (const auto& engine : engines_) {
            if (engine->job < 0 || !engine->ended) {
                continue;
            }
            engine->waitForWorker();
            const int k = engine->job;
            ConvertJob& job = jobs_[static_cast<std::size_t>(k)];
            const std::vector<ConvertJob> snapshots = engine->jobSnapshots();
            if (!snapshots.empty()) {
                job = snapshots.front();
                job.index = k;
            }
            engine->job = -1;
            ++ended_;
            timeLeft_.jobEnded(
                k, job.outcome == JobOutcome::Converted || job.outcome == JobOutcome::Short);
            // An output kept without a question (the output is the source itself).
            if (job.outcome == JobOutcome::Kept) {
                report_.kept(k, job.outputPath);
            }
            reported_[static_cast<std::size_t>(k)] = true;
            report_.jobEnded(job, currentState());
        }
    }

    void checkStop() {
        if (cause_ != StopCause::None) {
            return;
        }
        if (interrupted()) {
            cause_ = StopCause::Signal;
        } else if (quit_) {
            cause_ = StopCause::Quit;
        } else if (const auto failure = report_.outputFailure()) {
            cause_ = StopCause::Output;
            report_.message("kestrova-cli: cannot write to standard output: " + *failure + "\n");
        } else {
            return;
        }
        stopping_ = true;
        if (cause_ == StopCause::Signal && busy() > 0) {
            // The jobs under way are shown even when the stop came before their first tick.
            tick(Clock::now());
            report_.message("Stopping the conversion...\n");
        }
        for (const auto& engine : engines_) {
            if (engine->job >= 0) {
                engine->askToStop();
            }
        }
        // Engines waiting for their turn at the question answer at once.
        std::lock_guard<std::mutex> guard(questionMutex_);
        questionTurn_.notify_all();
    }

    void tick(Clock::time_point now) {
        std::vector<TimeLeft::Running> fractions;
        for (const auto& engine : engines_) {
            if (engine->job < 0) {
                continue;
            }
            ConvertJob job;
            if (engine->getCurrentJob(job)) {
                engine->percent = job.percent;
                engine->durationSeconds = job.durationSeconds;
            }
            fractions.push_back({engine->job, engine->percent / 100.0});
        }
        secondsLeft_ = timeLeft_.update(now, fractions, busy() > inQuestion_);
        report_.tick(currentState());
    }

    BatchState currentState() const {
        BatchState state;
        state.count = count_;
        state.started = started_;
        state.ended = ended_;
        for (const auto& engine : engines_) {
            if (engine->job >= 0) {
                state.running.push_back({engine->job, engine->percent, engine->durationSeconds,
                                         jobs_[static_cast<std::size_t>(engine->job)].sourcePath});
            }
        }
        state.secondsLeft = secondsLeft_;
        state.elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        return state;
    }

    int exitStatus() const {
        if (cause_ == StopCause::Signal || cause_ == StopCause::Quit) {
            return kExitInterrupted;
        }
        if (cause_ == StopCause::Output) {
            return kExitSomeNotFinished;
        }
        for (const ConvertJob& job : jobs_) {
            if (!rules::isFinished(job)) {
                return kExitSomeNotFinished;
            }
        }
        return setup_.fileRefused ? kExitSomeNotFinished : kExitAllFinished;
    }

    bool interrupted() const { return console_.interrupted && console_.interrupted(); }

    // A stop is on its way: asked by a signal, by a 'q', or by the main thread.
    bool stopChosen() const { return stopping_ || quit_ || interrupted(); }

    static int confirm(int code, std::intptr_t context) {
        if (code != ConfirmOverwrite) {
            return ConfirmKeep;
        }
        auto& engine = *reinterpret_cast<Engine*>(context);
        return engine.session().confirmReplace(engine);
    }

    // On the engine's worker thread.
    int confirmReplace(Engine& engine) {
        ConvertJob job;
        engine.getCurrentJob(job);
        // The engine runs one job; its index in the batch was set before it started.
        const int index = engine.job;
        switch (setup_.overwrite) {
            case Overwrite::Yes:
                return ConfirmReplace;
            case Overwrite::No:
                report_.kept(index, job.outputPath);
                return ConfirmKeep;
            case Overwrite::Ask:
                break;
        }
        if (!console_.canAsk || !console_.readAnswer) {
            report_.kept(index, job.outputPath);
            return ConfirmKeep;
        }

        // One question at a time, in the order the engines reach it; the others go on
        // converting meanwhile.
        ++inQuestion_;
        std::unique_lock<std::mutex> lock(questionMutex_);
        const unsigned ticket = nextTicket_++;
        questionTurn_.wait(lock, [this, ticket] { return serving_ == ticket; });
        lock.unlock();

        int answer = ConfirmKeep;
        if (const auto standing = answers_.standing()) {
            answer = *standing;
        } else if (!stopChosen()) {
            const auto choice = report_.ask(rules::replaceQuestion(printable(job.outputPath)));
            answer = choice ? answers_.take(*choice) : ConfirmKeep;
        }
        if (answer != ConfirmReplace) {
            report_.kept(index, job.outputPath);
        }
        if (answer == ConfirmKeepAndStop) {
            quit_ = true;
            wake();
        }

        lock.lock();
        ++serving_;
        --inQuestion_;
        lock.unlock();
        questionTurn_.notify_all();
        return answer;
    }

    Console& console_;
    Report& report_;
    const BatchSetup& setup_;
    const int count_;
    std::vector<ConvertJob> jobs_;  // the batch's jobs as they ended
    std::vector<bool> reported_;    // whose end the report has had
    std::vector<int> pending_;      // not yet handed to an engine, in argument order
    int started_ = 0;
    int ended_ = 0;
    Clock::time_point start_;
    TimeLeft timeLeft_;
    std::optional<double> secondsLeft_;

    StopCause cause_ = StopCause::None;  // main thread only
    std::atomic<bool> stopping_{false};
    std::atomic<bool> quit_{false};  // 'q' was answered

    std::mutex wakeMutex_;
    std::condition_variable wakeSignal_;
    bool woken_ = false;

    std::mutex questionMutex_;
    std::condition_variable questionTurn_;
    unsigned nextTicket_ = 0;
    unsigned serving_ = 0;
    std::atomic<int> inQuestion_{0};  // engines waiting for an answer, or for their turn
    rules::ReplaceAnswers answers_;

    // Last, so that they go first: a worker still ending could otherwise wake a session that
    // has gone.
    std::vector<std::unique_ptr<Engine>> engines_;
};

void Engine::onRunFinished() {
    ended = true;
    session_.wake();
}

}  // namespace

int runBatch(Console& console, Report& report, const BatchSetup& setup) {
    return Session(console, report, setup).run();
}

}  // namespace cli
