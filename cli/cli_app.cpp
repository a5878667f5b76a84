#include "cli_app.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>

#include "batch_text.h"
#include "convert_checks.h"
#include "convert_core.h"
#include "converter.h"
#include "file_checks.h"
#include "media_preset.h"
#include "messages.h"
#include "options.h"
#include "outcome_text.h"
#include "platform.h"
#include "progress_text.h"

namespace cli {

namespace {

constexpr auto kTick = std::chrono::milliseconds(100);

// The engine with one addition: the owner learns at once when the worker has ended, instead
// of at its next tick.
class CliEngine : public ConvertCore {
public:
    ~CliEngine() override { waitForWorker(); }

    void onRunFinished() override {
        std::lock_guard<std::mutex> guard(endMutex_);
        ended_ = true;
        endSignal_.notify_all();
    }

    // True once the run has ended; waits up to timeout for that.
    bool waitForEnd(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(endMutex_);
        return endSignal_.wait_for(lock, timeout, [this] { return ended_; });
    }

private:
    std::mutex endMutex_;
    std::condition_variable endSignal_;
    bool ended_ = false;
};

std::string withoutTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && folder.back() == platform::kPathSeparator) {
        folder.pop_back();
    }
    return folder;
}

bool isYes(const std::string& answer) {
    std::string word;
    for (char c : answer) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            word += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return word == "y" || word == "yes";
}

// Everything written while a batch runs goes through here: the progress line on standard
// output and the questions and diagnostics on standard error share one terminal, so each
// write first ends a progress line that is showing.
class Display {
public:
    Display(Console& console, const std::vector<std::string>& sources)
        : console_(console), count_(static_cast<int>(sources.size())) {
        for (const std::string& source : sources) {
            shownSources_.push_back(printable(source));
        }
    }

    // One tick while the run goes on.
    void refresh(ConvertCore& core) {
        ConvertJob job;
        if (!core.getCurrentJob(job)) {
            return;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        if (asking_) {
            return;
        }
        if (!console_.outIsTerminal) {
            announceJobsUpTo(job.index);
            return;
        }
        const std::string source = printable(job.sourcePath);
        const std::string full = rules::jobLine(job.index, job.percent, count_, source);
        const int columns = console_.columns ? console_.columns() : 0;
        const std::string line = fitToWidth(full, full.size() - source.size(), columns);
        if (lineShown_ && line == shownText_) {
            return;
        }
        const std::size_t length = displayLength(line);
        std::string text = "\r" + line;
        if (length < shownLength_) {
            text.append(shownLength_ - length, ' ');
        }
        console_.out << text << std::flush;
        lineShown_ = true;
        shownText_ = line;
        shownLength_ = length;
    }

    // Asks on the worker thread whether an existing output may be replaced.
    bool ask(const std::string& question) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            endLine();
            asking_ = true;
            promptOpen_ = true;
            console_.err << question << " [y/N] " << std::flush;
        }
        // Read without the lock: the main thread keeps ticking (and skips drawing) meanwhile.
        const auto answer = console_.readAnswer();
        std::lock_guard<std::mutex> guard(mutex_);
        asking_ = false;
        // A typed answer ends with the user's Enter; anything else leaves the prompt's line open.
        if (answer) {
            promptOpen_ = false;
        }
        endPrompt();
        return answer && isYes(*answer);
    }

    void error(std::string_view text) {
        std::lock_guard<std::mutex> guard(mutex_);
        endLine();
        endPrompt();
        console_.err << text << std::flush;
    }

    // An existing output stays: said when its job comes, once.
    void kept(int index, const std::string& output) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!keptReported_.insert(index).second) {
            return;
        }
        endLine();
        endPrompt();
        console_.err << "kept: " << printable(output) << '\n' << std::flush;
    }

    void summary(int state, const std::vector<ConvertJob>& jobs) {
        // Kept without a question (the output is the source itself): said before the end.
        for (const ConvertJob& job : jobs) {
            if (job.outcome == JobOutcome::Kept) {
                kept(job.index, job.outputPath);
            }
        }
        std::lock_guard<std::mutex> guard(mutex_);
        endLine();
        int finished = 0;
        for (const ConvertJob& job : jobs) {
            finished += rules::isFinished(job) ? 1 : 0;
        }
        std::ostream& out = console_.out;
        if (state == Finished) {
            if (!console_.outIsTerminal) {
                announceJobsUpTo(count_ - 1);
            }
            out << rules::kComplete << '\n';
        }
        out << rules::finalLine(finished, count_) << '\n';
        for (const ConvertJob& job : jobs) {
            if (!rules::isFinished(job)) {
                out << "not finished: " << printable(rules::unfinishedEntry(job)) << '\n';
            }
        }
        out << std::flush;
    }

private:
    // Without a terminal, one line per job as it starts. A job that passed between two ticks
    // (an output kept, a file that failed at once) still gets its line.
    void announceJobsUpTo(int index) {
        for (int k = announced_ + 1; k <= index && k < count_; ++k) {
            console_.out << rules::jobLine(k, 0, count_, shownSources_[static_cast<std::size_t>(k)])
                         << '\n';
        }
        if (index > announced_) {
            announced_ = index;
        }
        console_.out << std::flush;
    }

    void endPrompt() {
        if (promptOpen_) {
            console_.err << '\n' << std::flush;
            promptOpen_ = false;
        }
    }

    void endLine() {
        if (lineShown_) {
            console_.out << '\n' << std::flush;
            lineShown_ = false;
            shownText_.clear();
            shownLength_ = 0;
        }
    }

    Console& console_;
    std::vector<std::string> shownSources_;
    const int count_;
    std::mutex mutex_;
    bool lineShown_ = false;
    std::string shownText_;
    std::size_t shownLength_ = 0;
    bool asking_ = false;
    bool promptOpen_ = false;  // the question's line awaits its answer
    int announced_ = -1;
    std::set<int> keptReported_;
};

// One batch: the engine, its display and the answers to its question.
class Session {
public:
    Session(Console& console, CliEngine& core, const std::vector<std::string>& sources,
            Overwrite overwrite)
        : console_(console), core_(core), display_(console, sources), overwrite_(overwrite) {}

    int run() {
        const bool debugToConsole = [] {
            const char* value = std::getenv("KESTROVA_DEBUG");
            return value != nullptr && *value != '\0';
        }();
        platform::DebugSink previousSink;
        if (debugToConsole) {
            previousSink =
                platform::setDebugSink([this](std::string_view text) { display_.error(text); });
        }

        core_.confirmCallback = &Session::confirm;
        core_.confirmContext = reinterpret_cast<std::intptr_t>(this);
        const bool stopped = follow();

        if (debugToConsole) {
            platform::setDebugSink(std::move(previousSink));
        }
        const std::vector<ConvertJob> jobs = core_.jobSnapshots();
        display_.summary(core_.runState, jobs);
        if (stopped) {
            return kExitInterrupted;
        }
        for (const ConvertJob& job : jobs) {
            if (!rules::isFinished(job)) {
                return kExitSomeNotFinished;
            }
        }
        return kExitAllFinished;
    }

private:
    // Runs the batch to its end; true when it was stopped on the user's request.
    bool follow() {
        if (!core_.start()) {
            // No worker: nothing ran, and the summary says so.
            return false;
        }
        bool stopping = false;
        for (;;) {
            const bool ended = core_.waitForEnd(kTick);
            // A Ctrl-C counts even when the run ended meanwhile: it may have cut a question
            // short, and the user asked for the program to stop.
            if (!stopping && interrupted()) {
                stopping = true;
                if (!ended) {
                    // The job under way is shown even when the stop came before its first tick.
                    display_.refresh(core_);
                    display_.error("Stopping the conversion...\n");
                    // Returns after at most a second; the wait above then sees the end, however
                    // long the converter takes to quit.
                    core_.requestStop();
                }
            }
            if (ended) {
                break;
            }
            if (!stopping) {
                display_.refresh(core_);
            }
        }
        core_.waitForWorker();
        return stopping;
    }

    bool interrupted() const { return console_.interrupted && console_.interrupted(); }

    static int confirm(int code, std::intptr_t context) {
        if (code != ConfirmOverwrite) {
            return 0;
        }
        return reinterpret_cast<Session*>(context)->confirmReplace() ? 1 : 0;
    }

    bool confirmReplace() {
        ConvertJob job;
        core_.getCurrentJob(job);
        const bool replace = askOverwrite(job.outputPath);
        if (!replace) {
            display_.kept(job.index, job.outputPath);
        }
        return replace;
    }

    bool askOverwrite(const std::string& output) {
        switch (overwrite_) {
            case Overwrite::Yes:
                return true;
            case Overwrite::No:
                return false;
            case Overwrite::Ask:
                break;
        }
        if (!console_.canAsk || !console_.readAnswer || interrupted()) {
            return false;
        }
        return display_.ask(rules::replaceQuestion(printable(output)));
    }

    Console& console_;
    CliEngine& core_;
    Display display_;
    const Overwrite overwrite_;
};

int refuse(Console& console, const std::string& message) {
    console.err << message << '\n' << std::flush;
    return kExitRefused;
}

}  // namespace

int run(const std::vector<std::string>& args, Console& console) {
    const MkvAvi presets;
    const ParseResult parsed = parseArguments(args, presets);
    if (!parsed.error.empty()) {
        // The error quotes what was typed, which may hold control characters too.
        console.err << "kestrova-cli: " << printable(parsed.error) << '\n'
                    << usageText() << "Try 'kestrova-cli --help' for more information.\n"
                    << std::flush;
        return kExitRefused;
    }
    const Options& options = parsed.options;
    if (options.help) {
        console.out << helpText() << std::flush;
        return kExitAllFinished;
    }
    if (options.listPresets) {
        for (int index = 0; index < presets.presetCount(); ++index) {
            console.out << index << '\t' << presets.presetName(index) << '\t'
                        << presets.presetArguments(index) << '\n';
        }
        console.out << std::flush;
        return kExitAllFinished;
    }

    // The FILEs go through the same tests as files dropped on the window, and must be readable
    // regular files: a typing error should not cost a converter run, nor a FIFO hold the batch.
    const std::string& base = console.workingFolder;
    CliEngine core;
    rules::FileList files;
    std::vector<std::string> sources;
    bool fileRefused = false;
    for (const std::string& file : options.files) {
        const std::string source = rules::absolutePath(file, base);
        rules::FileRefusal refusal = files.add(source);
        if (refusal == rules::FileRefusal::None && !core.addJob(source)) {
            refusal = rules::FileRefusal::ListedTwice;
        }
        if (refusal != rules::FileRefusal::None) {
            console.err << "skipped: " << printable(file) << ": " << rules::fileRefusalText(refusal)
                        << '\n'
                        << std::flush;
            fileRefused = fileRefused || refusal != rules::FileRefusal::ListedTwice;
            continue;
        }
        sources.push_back(source);
    }

    const std::string folder =
        options.outputFolder.empty()
            ? std::string()
            : withoutTrailingSeparators(rules::absolutePath(options.outputFolder, base));
    const std::string toolPath = console.toolPath.empty()
                                     ? converter::toolPathIn(platform::executableFolder())
                                     : console.toolPath;
    const rules::Refusal refusal =
        rules::checkConvert({static_cast<int>(sources.size()), folder, toolPath});
    if (refusal != rules::Refusal::None) {
        return refuse(console, rules::refusalText(refusal));
    }

    rules::setUpBatch(core, toolPath, folder, presets, options.preset);

    if (console.interrupted && console.interrupted()) {
        return kExitInterrupted;
    }
    const int status = Session(console, core, sources, options.overwrite).run();
    return status == kExitAllFinished && fileRefused ? kExitSomeNotFinished : status;
}

}  // namespace cli
