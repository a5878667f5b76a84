#include "application.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <memory>

#include "app_state.h"
#include "button_images.h"
#include "convert_core.h"
#include "main_window.h"
#include "media_preset.h"
#include "output_folder.h"
#include "progress_window.h"
#include "settings_store.h"
#include "source_list.h"

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The handler only writes a byte; the user-interface thread does the rest.
int signalPipe[2] = {-1, -1};

void onEndSignal(int) {
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// Closes the program from the top window down, each window as its Esc or close box would: a
// question gets its Cancel or No, the progress window closes by itself once the batch has
// stopped, and the main window last.
void closeEverything() {
    saveOutputFolder(outputFolderText());
    if (convertCore != nullptr) {
        convertCore->askToStop();
    }
    auto* closer = new QTimer(qApp);
    QObject::connect(closer, &QTimer::timeout, closer, [closer]() {
        if (mainWindow == nullptr) {
            closer->deleteLater();
            return;
        }
        QWidget* top = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QDialog*>(top);
        if (dialog == nullptr || qobject_cast<ProgressWindow*>(dialog) != nullptr) {
            return;
        }
        dialog->reject();
    });
    closer->start(20);
}

class EndSignals {
public:
    EndSignals() {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this]() {
            char bytes[16];
            while (::read(signalPipe[0], bytes, sizeof(bytes)) > 0) {
            }
            if (!ending) {
                ending = true;
                closeEverything();
            }
        });
        struct sigaction action {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t k = 0; k < std::size(kEndSignals); ++k) {
            sigaction(kEndSignals[k], &action, &previous[k]);
        }
    }
    ~EndSignals() {
        if (!notifier) {
            return;
        }
        for (std::size_t k = 0; k < std::size(kEndSignals); ++k) {
            sigaction(kEndSignals[k], &previous[k], nullptr);
        }
        notifier.reset();
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier;
    struct sigaction previous[std::size(kEndSignals)]{};
    bool ending = false;
};

}  // namespace

bool initApplication() {
    mainWindow = nullptr;
    appIcon = QIcon();
    convertCore = nullptr;
    // The catalogue lives until the process ends.
    if (presetCatalogue == nullptr) {
        presetCatalogue = new MkvAvi;
    }
    return true;
}

void releaseApplication() {
    buttonImages.clear();
    sharpButtonImages.clear();
}

int runApplication(const std::vector<std::string>& files) {
    initApplication();
    if (!loadButtonImages()) {
        return 0;
    }
    {
        const EndSignals endSignals;
        MainWindow window(chooseMainLayout(*presetCatalogue));
        addCommandLineFiles(files);
        window.exec();
    }
    releaseApplication();
    return 0;
}
