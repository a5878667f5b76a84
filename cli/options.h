#pragma once

// The command line of kestrova-cli.

#include <string>
#include <vector>

class MediaPreset;

namespace cli {

enum class Overwrite { Ask, Yes, No };

struct Options {
    std::vector<std::string> files;  // as given, in argument order
    std::string outputFolder;        // empty when -o was not given
    int preset = 0;
    Overwrite overwrite = Overwrite::Ask;
    bool listPresets = false;
    bool help = false;
    // Events as JSON lines on standard output instead of the human lines.
    bool json = false;
    // Conversions at once; 0 asks for half the cores (see engineCount).
    int jobs = 1;
};

// The most conversions at once: each engine holds one converter, and so many already outrun
// any disk.
inline constexpr int kMostJobs = 32;

// Engines for a batch: jobs, or half of cores when jobs is 0 (cores 0 means unknown); at least
// one, at most kMostJobs, and never more than the batch has files.
int engineCount(int jobs, unsigned cores, int files);

struct ParseResult {
    Options options;
    // Empty when the command line is usable; otherwise what is wrong with it, one line.
    std::string error;
};

// Parses the arguments after the program name. Options and FILEs may be mixed; "--" ends the
// options. The preset is resolved against the catalogue: an index in range or an exact name.
ParseResult parseArguments(const std::vector<std::string>& args, const MediaPreset& presets);

// The two synopsis lines, each ending in a line feed.
std::string usageText();
// The whole help: synopsis, options, exit statuses.
std::string helpText();

}  // namespace cli
