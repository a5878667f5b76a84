// Runs one batch of the engine in a process of its own, for the faults that only an ordinary
// user meets: root reads and writes whatever the permission bits say, so a test that runs as
// root starts this with --as-nobody and changes permissions while it waits.
//
//   batch_runner [--as-nobody] [--yes] [--wait-queued] [--wait-after N]...
//                TOOL OUTPUT_FOLDER PRESET_ARGS SOURCE...
//
// Standard output, one line each: "ready UID PID" once set up; "queued" when the jobs are queued
// and --wait-queued was given; "after N" when job N's conversion has returned and --wait-after N
// was given. After "queued" and "after N" it waits for a line on standard input. At the end:
// "end STATE P0 P1 ..." with the run state and every job's percent, then "reason K: TEXT" for
// each job K that ended with a reason. The data folder is the usual one ($XDG_DATA_HOME).

#include <grp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "convert_core.h"

namespace {

constexpr uid_t kNobody = 65534;

class PausingCore : public ConvertCore {
public:
    std::set<int> pauseAfter;

    bool convert(const std::string& source, const std::string& output) override {
        const int index = currentIndex;
        ConvertCore::convert(source, output);
        if (pauseAfter.count(index) > 0) {
            std::cout << "after " << index << std::endl;
            std::string line;
            std::getline(std::cin, line);
        }
        return true;
    }
};

int answerYes(int, std::intptr_t) {
    return 1;
}

// Gives up root for good; the process stays dumpable so that the sanitizers' leak check,
// which inspects the process from a helper, still works.
bool becomeNobody() {
    return setgroups(0, nullptr) == 0 && setresgid(kNobody, kNobody, kNobody) == 0 &&
           setresuid(kNobody, kNobody, kNobody) == 0 && prctl(PR_SET_DUMPABLE, 1) == 0 &&
           geteuid() == kNobody && setresuid(0, 0, 0) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool asNobody = false;
    bool waitQueued = false;
    PausingCore core;
    int arg = 1;
    for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
        const std::string option = argv[arg];
        if (option == "--as-nobody") {
            asNobody = true;
        } else if (option == "--yes") {
            core.confirmCallback = answerYes;
        } else if (option == "--wait-queued") {
            waitQueued = true;
        } else if (option == "--wait-after" && arg + 1 < argc) {
            core.pauseAfter.insert(std::atoi(argv[++arg]));
        } else {
            std::cerr << "batch_runner: unknown option " << option << "\n";
            return 2;
        }
    }
    if (argc - arg < 3) {
        std::cerr << "usage: batch_runner [options] TOOL OUTPUT_FOLDER PRESET_ARGS SOURCE...\n";
        return 2;
    }
    if (asNobody && !becomeNobody()) {
        std::cout << "cannot become nobody: " << std::strerror(errno) << std::endl;
        return 3;
    }
    core.toolPath = argv[arg++];
    core.outputFolder = argv[arg++];
    if (access(core.outputFolder.c_str(), W_OK | X_OK) != 0) {
        std::cout << "cannot use " << core.outputFolder << " as user " << geteuid() << ": "
                  << std::strerror(errno) << std::endl;
        return 3;
    }
    std::cout << "ready " << geteuid() << " " << getpid() << std::endl;

    core.presetArgs = argv[arg++];
    core.outputExt = "avi";
    for (; arg < argc; ++arg) {
        core.addJob(argv[arg]);
    }
    if (waitQueued) {
        std::cout << "queued" << std::endl;
        std::string line;
        std::getline(std::cin, line);
    }
    core.start();
    core.waitForWorker();

    std::cout << "end " << core.runState;
    for (int percent : core.jobPercents()) {
        std::cout << " " << percent;
    }
    std::cout << std::endl;
    for (const ConvertJob& job : core.jobSnapshots()) {
        if (!job.reason.empty()) {
            std::cout << "reason " << job.index << ": " << job.reason << std::endl;
        }
    }
    return 0;
}
