// Whether a batch's cost per file stays flat as the batch grows: the engine converts thousands
// of tiny files with a tiny stand-in converter, and the time per file of the last thousand is
// compared with the first thousand's. The last line is "per-file cost ratio X.XX" (goal: at
// most 1.2); before it, the program's own CPU time per file.
//
//   batch_scale [FILES]   (default 4000; BATCH_FILES=... the same)

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "convert_core.h"
#include "platform.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const char* fromEnvironment = std::getenv("BATCH_FILES");
    const int files = argc > 1 ? std::atoi(argv[1])
                      : fromEnvironment != nullptr ? std::atoi(fromEnvironment)
                                                   : 4000;
    constexpr int kSlice = 1000;
    if (files < 2 * kSlice) {
        std::fprintf(stderr, "batch_scale: at least %d files\n", 2 * kSlice);
        return 2;
    }
    const fs::path work = fs::temp_directory_path() / ("kestrova-batch-scale-" +
                                                       std::to_string(::getpid()));
    fs::create_directories(work / "in");
    fs::create_directories(work / "out");
    fs::create_directories(work / "data");
    ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);

    ConvertCore core;
    core.toolPath = (fs::path(platform::executableFolder()) / "tiny_xcoder").string();
    core.outputFolder = (work / "out").string();
    core.outputExt = "avi";
    std::printf("making %d tiny sources ...\n", files);
    for (int k = 0; k < files; ++k) {
        const fs::path source = work / "in" / ("clip " + std::to_string(k) + ".mkv");
        std::ofstream(source) << "x";
        core.addJob(source.string());
    }

    std::vector<Clock::time_point> reached(static_cast<std::size_t>(files) + 1);
    const double cpuBefore = cpuSeconds();
    const auto started = Clock::now();
    core.start();
    int seen = -1;
    while (core.runState == Running) {
        const int index = core.currentIndex;
        for (int k = seen + 1; k <= index; ++k) {
            reached[static_cast<std::size_t>(k)] = Clock::now();
        }
        seen = std::max(seen, index);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    core.waitForWorker();
    reached[static_cast<std::size_t>(files)] = Clock::now();
    for (int k = seen + 1; k < files; ++k) {
        reached[static_cast<std::size_t>(k)] = reached[static_cast<std::size_t>(files)];
    }
    const double cpu = cpuSeconds() - cpuBefore;
    const double total = std::chrono::duration<double>(Clock::now() - started).count();
    const int finished = core.countFinishedJobs();
    fs::remove_all(work);

    const auto slice = [&](int from) {
        return std::chrono::duration<double>(reached[static_cast<std::size_t>(from + kSlice)] -
                                             reached[static_cast<std::size_t>(from)])
                   .count() /
               kSlice;
    };
    const double first = slice(0);
    const double last = slice(files - kSlice);
    std::printf("%d files, %d finished, in %.1f s\n", files, finished, total);
    std::printf("first thousand %.2f ms per file, last thousand %.2f ms per file\n", first * 1e3,
                last * 1e3);
    std::printf("program's own cpu %.3f ms per file\n", cpu * 1e3 / files);
    std::printf("per-file cost ratio %.2f\n", last / first);
    return finished == files ? 0 : 1;
}
