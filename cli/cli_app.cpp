#include "cli_app.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "batch_text.h"
#include "convert_checks.h"
#include "convert_core.h"
#include "converter.h"
#include "file_types.h"
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

// Paths are UTF-8 text; std::filesystem would take a plain std::string in the ANSI code page
// on Windows.
std::filesystem::path toPath(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string fromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string currentFolder(const Console& console) {
    if (!console.workingFolder.empty()) {
        return console.workingFolder;
    }
    std::error_code error;
    const auto folder = std::filesystem::current_path(error);
    return error ? std::string() : fromPath(folder);
}

// Relative paths are taken from base; "." and ".." are resolved by name, as the user wrote
// them, so that two spellings of one file are one job.
std::string absolutePath(const std::string& path, const std::string& base) {
    std::filesystem::path full = toPath(path);
    if (full.is_relative() && !base.empty()) {
        full = toPath(base) / full;
    }
    return fromPath(full.lexically_normal());
}

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
        : console_(console), sources_(sources), count_(static_cast<int>(sources.size())) {}

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
        const std::string full = rules::jobLine(job.index, job.percent, count_, job.sourcePath);
        const int columns = console_.columns ? console_.columns() : 0;
        const std::string line = fitToWidth(full, full.size() - job.sourcePath.size(), columns);
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

    void summary(int state, int finished, const std::vector<int>& percents) {
        std::lock_guard<std::mutex> guard(mutex_);
        endLine();
        std::ostream& out = console_.out;
        if (state == Finished) {
            if (!console_.outIsTerminal) {
                announceJobsUpTo(count_ - 1);
            }
            out << rules::kComplete << '\n';
        }
        out << rules::finalLine(finished, count_) << '\n';
        for (std::size_t k = 0; k < percents.size() && k < sources_.size(); ++k) {
            if (percents[k] != 100) {
                out << "not finished: " << sources_[k] << '\n';
            }
        }
        out << std::flush;
    }

private:
    // Without a terminal, one line per job as it starts. A job that passed between two ticks
    // (an output kept, a file that failed at once) still gets its line.
    void announceJobsUpTo(int index) {
        for (int k = announced_ + 1; k <= index && k < count_; ++k) {
            console_.out << rules::jobLine(k, 0, count_, sources_[static_cast<std::size_t>(k)])
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
    const std::vector<std::string>& sources_;
    const int count_;
    std::mutex mutex_;
    bool lineShown_ = false;
    std::string shownText_;
    std::size_t shownLength_ = 0;
    bool asking_ = false;
    bool promptOpen_ = false;  // the question's line awaits its answer
    int announced_ = -1;
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
        const int finished = core_.countFinishedJobs();
        display_.summary(core_.runState, finished, core_.jobPercents());
        if (stopped) {
            return kExitInterrupted;
        }
        return finished == core_.jobCount() ? kExitAllFinished : kExitSomeNotFinished;
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
        return reinterpret_cast<Session*>(context)->askOverwrite() ? 1 : 0;
    }

    bool askOverwrite() {
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
        ConvertJob job;
        core_.getCurrentJob(job);
        return display_.ask(rules::replaceQuestion(job.outputPath));
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
        console.err << "kestrova-cli: " << parsed.error << '\n'
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

    // The FILEs go through the same tests as files dropped on the window. A path that is not
    // a readable file is refused as well: a typing error should not cost a converter run.
    const std::string base = currentFolder(console);
    CliEngine core;
    std::vector<std::string> sources;
    for (const std::string& file : options.files) {
        const std::string source = absolutePath(file, base);
        if (!isAcceptedFile(source) || !platform::fileExists(source) || core.hasJob(source)) {
            console.err << "skipped: " << file << '\n' << std::flush;
            continue;
        }
        core.addJob(source);
        sources.push_back(source);
    }

    const std::string folder =
        options.outputFolder.empty()
            ? std::string()
            : withoutTrailingSeparators(absolutePath(options.outputFolder, base));
    const std::string toolPath = console.toolPath.empty()
                                     ? converter::toolPathIn(platform::executableFolder())
                                     : console.toolPath;
    const rules::Refusal refusal =
        rules::checkConvert({static_cast<int>(sources.size()), folder, toolPath});
    if (refusal != rules::Refusal::None) {
        return refuse(console, rules::refusalText(refusal));
    }

    core.toolPath = toolPath;
    core.outputFolder = folder;
    core.outputExt = presets.presetExtension(options.preset);
    core.presetArgs = presets.presetArguments(options.preset);

    if (console.interrupted && console.interrupted()) {
        return kExitInterrupted;
    }
    return Session(console, core, sources, options.overwrite).run();
}

}  // namespace cli
