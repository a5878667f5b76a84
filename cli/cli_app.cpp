#include "cli_app.h"

#include <thread>

#include "convert_checks.h"
#include "converter.h"
#include "file_checks.h"
#include "media_preset.h"
#include "options.h"
#include "platform.h"
#include "progress_text.h"
#include "report.h"
#include "session.h"

namespace cli {

namespace {

constexpr const char* kNoFileLeft = "No file left to convert.";

std::string withoutTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && folder.back() == platform::kPathSeparator) {
        folder.pop_back();
    }
    return folder;
}

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
    const std::unique_ptr<Report> report =
        options.json ? jsonReport(console) : humanReport(console);
    rules::FileList files;
    std::vector<std::string> sources;
    bool fileRefused = false;
    int skipped = 0;
    for (const std::string& file : options.files) {
        const std::string source = rules::absolutePath(file, base);
        const rules::FileRefusal refusal = files.add(source);
        if (refusal != rules::FileRefusal::None) {
            report->skipped(file, rules::fileRefusalText(refusal));
            fileRefused = fileRefused || refusal != rules::FileRefusal::ListedTwice;
            ++skipped;
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
    // The checks see the FILEs given: a command that is wrong in itself is refused as such,
    // whether or not its FILEs were usable.
    const rules::Refusal refusal =
        rules::checkConvert({static_cast<int>(options.files.size()), folder, toolPath});
    if (refusal != rules::Refusal::None) {
        return refuse(console, rules::refusalText(refusal));
    }
    if (sources.empty()) {
        console.err << kNoFileLeft << '\n' << std::flush;
        return kExitSomeNotFinished;
    }

    if (console.interrupted && console.interrupted()) {
        return kExitInterrupted;
    }
    BatchSetup setup;
    setup.sources = std::move(sources);
    setup.toolPath = toolPath;
    setup.outputFolder = folder;
    setup.presets = &presets;
    setup.preset = options.preset;
    setup.overwrite = options.overwrite;
    const unsigned cores = console.cores != 0 ? console.cores : std::thread::hardware_concurrency();
    setup.engines = engineCount(options.jobs, cores, static_cast<int>(setup.sources.size()));
    setup.skipped = skipped;
    setup.fileRefused = fileRefused;
    return runBatch(console, *report, setup);
}

}  // namespace cli
