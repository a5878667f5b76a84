#pragma once

// Pieces shared by the desktop program's benchmarks: the offscreen platform, settings kept out
// of the user's profile, waiting for a window to be on screen, and medians.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace bench_support {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of the calling thread so far.
inline double threadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Offscreen unless the environment names a platform; call before the application object.
inline void defaultToOffscreen() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

// The program reads and writes its settings in a private folder while the object lives.
class PrivateSettings {
public:
    PrivateSettings() {
        if (!folder.isValid()) {
            std::fprintf(stderr, "cannot create a temporary folder\n");
            std::exit(1);
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    }

private:
    QTemporaryDir folder;
};

// Handles what is queued, the repaints and the list's delayed layout included. Each pass can
// queue the next step (a layout queues a repaint), so a few passes are made.
inline void settle() {
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Shows the window and waits until it is exposed and painted; exits when it never is.
inline void showAndWait(QWidget& window) {
    window.show();
    const QDeadlineTimer deadline(30000);
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        if (deadline.hasExpired()) {
            std::fprintf(stderr, "the window was never exposed\n");
            std::exit(1);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    settle();
}

inline double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs from the first argument when it is a positive number, else the default.
inline int runsFromArguments(int argc, char** argv, int fallback) {
    if (argc > 1) {
        const int runs = std::atoi(argv[1]);
        if (runs > 0) {
            return runs;
        }
    }
    return fallback;
}

}  // namespace bench_support
