// The desktop program's start-up as bin/kestrova runs it (the same two lines of main), with one
// addition: an observer that notes, on standard output, the moment main began and the moment
// the main window was first shown and painted, then closes the window as Esc would. Started by
// the startup benchmark; the steady clock is shared by every process of the machine.

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>

#include "app_state.h"
#include "application.h"

namespace {

long long steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class ShownObserver : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!reported && event->type() == QEvent::Expose && mainWindow != nullptr &&
            mainWindow->windowHandle() == watched && mainWindow->windowHandle()->isExposed()) {
            reported = true;
            // The window paints itself while it handles this event; the note follows it.
            QTimer::singleShot(0, [] {
                std::printf("shown %lld\n", steadyNanoseconds());
                std::fflush(stdout);
                if (mainWindow != nullptr) {
                    mainWindow->reject();
                }
            });
        }
        return false;
    }

private:
    bool reported = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::printf("main %lld\n", steadyNanoseconds());
    QApplication application(argc, argv);
    ShownObserver observer;
    application.installEventFilter(&observer);
    return runApplication();
}
