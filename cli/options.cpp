#include "options.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "media_preset.h"

namespace cli {

namespace {

// Index in range, or exact display name; nothing otherwise.
std::optional<int> resolvePreset(const std::string& text, const MediaPreset& presets) {
    const int count = presets.presetCount();
    const bool digits = !text.empty() && text.size() <= 4 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (digits) {
        const int index = std::stoi(text);
        if (index < count) {
            return index;
        }
        return std::nullopt;
    }
    for (int index = 0; index < count; ++index) {
        if (presets.presetName(index) == text) {
            return index;
        }
    }
    return std::nullopt;
}

std::optional<int> parseJobs(const std::string& text) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int jobs = std::stoi(text);
    return jobs <= kMostJobs ? std::optional<int>(jobs) : std::nullopt;
}

class Parser {
public:
    Parser(const std::vector<std::string>& args, const MediaPreset& presets)
        : args_(args), presets_(presets) {}

    ParseResult parse() {
        bool optionsEnded = false;
        for (position_ = 0; position_ < args_.size() && result_.error.empty(); ++position_) {
            const std::string& arg = args_[position_];
            if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
                result_.options.files.push_back(arg);
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (arg.compare(0, 2, "--") == 0) {
                parseLong(arg);
            } else {
                parseShortGroup(arg);
            }
        }
        if (result_.error.empty() && sawYes_ && sawNo_) {
            result_.error = "-y and -n exclude each other";
        }
        return result_;
    }

private:
    void parseLong(const std::string& arg) {
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        std::optional<std::string> inlineValue;
        if (equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
        }
        if (name == "--output" || name == "--preset" || name == "--jobs") {
            const auto value = inlineValue ? inlineValue : nextValue(name);
            if (value) {
                apply(name == "--output" ? 'o' : name == "--preset" ? 'p' : 'j', *value);
            }
            return;
        }
        if (inlineValue) {
            result_.error = "option '" + name + "' takes no value";
            return;
        }
        if (name == "--overwrite") {
            apply('y', {});
        } else if (name == "--no-overwrite") {
            apply('n', {});
        } else if (name == "--list-presets") {
            result_.options.listPresets = true;
        } else if (name == "--json") {
            result_.options.json = true;
        } else if (name == "--help") {
            apply('h', {});
        } else {
            result_.error = "unknown option '" + name + "'";
        }
    }

    // "-yn", "-oDIR", "-o DIR", "-p2", "-j2".
    void parseShortGroup(const std::string& arg) {
        for (std::size_t i = 1; i < arg.size(); ++i) {
            const char letter = arg[i];
            if (letter == 'o' || letter == 'p' || letter == 'j') {
                const auto value = i + 1 < arg.size()
                                       ? std::optional<std::string>(arg.substr(i + 1))
                                       : nextValue(std::string("-") + letter);
                if (value) {
                    apply(letter, *value);
                }
                return;
            }
            if (letter != 'y' && letter != 'n' && letter != 'h') {
                result_.error = std::string("unknown option '-") + letter + "'";
                return;
            }
            apply(letter, {});
        }
    }

    std::optional<std::string> nextValue(const std::string& name) {
        if (position_ + 1 >= args_.size()) {
            result_.error = "option '" + name + "' needs a value";
            return std::nullopt;
        }
        return args_[++position_];
    }

    void apply(char letter, const std::string& value) {
        Options& options = result_.options;
        switch (letter) {
            case 'o':
                options.outputFolder = value;
                break;
            case 'p':
                if (const auto index = resolvePreset(value, presets_)) {
                    options.preset = *index;
                } else {
                    result_.error = "unknown preset '" + value + "' (see --list-presets)";
                }
                break;
            case 'j':
                if (const auto jobs = parseJobs(value)) {
                    options.jobs = *jobs;
                } else {
                    result_.error = "the number of jobs must be 0 to " + std::to_string(kMostJobs) +
                                    ", not '" + value + "'";
                }
                break;
            case 'y':
                options.overwrite = Overwrite::Yes;
                sawYes_ = true;
                break;
            case 'n':
                options.overwrite = Overwrite::No;
                sawNo_ = true;
                break;
            case 'h':
                options.help = true;
                break;
            default:
                break;
        }
    }

    const std::vector<std::string>& args_;
    const MediaPreset& presets_;
    std::size_t position_ = 0;
    ParseResult result_;
    bool sawYes_ = false;
    bool sawNo_ = false;
};

}  // namespace

int engineCount(int jobs, unsigned cores, int files) {
    int count = jobs;
    if (count == 0) {
        count = static_cast<int>(std::min<unsigned>(cores / 2, kMostJobs));
    }
    return std::max(1, std::min({count, kMostJobs, files}));
}

ParseResult parseArguments(const std::vector<std::string>& args, const MediaPreset& presets) {
    return Parser(args, presets).parse();
}

std::string usageText() {
    return "Usage: kestrova-cli [-p N|NAME] -o DIR [-y|-n] [-j N] [--json] FILE...\n"
           "       kestrova-cli --list-presets\n";
}

std::string helpText() {
    return usageText() +
           "Converts Matroska files (*.mkv) into AVI files in DIR, in the order given.\n"
           "\n"
           "  -o, --output DIR      folder that receives the AVI files\n"
           "  -p, --preset N|NAME   preset index or exact name (default 0)\n"
           "  -y, --overwrite       replace existing output files\n"
           "  -n, --no-overwrite    keep existing output files\n"
           "  -j, --jobs N          convert N files at once (default 1; 0: half the cores)\n"
           "      --json            write events as JSON lines instead of the progress text\n"
           "      --list-presets    print index, name and converter arguments of each preset\n"
           "  -h, --help            show this help\n"
           "\n"
           "Without -y or -n, an existing output file is asked about on a terminal and kept\n"
           "otherwise; a kept output is reported as 'kept: OUTPUT' on standard error.\n"
           "The question takes y (yes), n (no, the default), a (yes to all), o (no to all)\n"
           "and q (keep this file and stop).\n"
           "A FILE that is not found, not a regular file, not readable, not a Matroska name\n"
           "or listed twice is reported as 'skipped: FILE: REASON' and the rest go on.\n"
           "On a terminal the progress line ends with the time left once it can be told.\n"
           "At the end: 'Complete' (or 'Stopped'), 'F / N (P%)', and\n"
           "'not finished: SOURCE: REASON' for each job that did not finish.\n"
           "Control characters in printed names are escaped ('\\n', '\\x1b').\n"
           "Ctrl-C, SIGTERM and SIGHUP stop the conversions; Ctrl-Z suspends them.\n"
           "\n"
           "Exit status: 0 when every file was converted or kept and no FILE was skipped\n"
           "(but as listed twice), 1 otherwise (also when standard output cannot be\n"
           "written), 2 for refused input, 130 when stopped.\n";
}

}  // namespace cli
