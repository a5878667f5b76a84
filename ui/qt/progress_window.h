#pragma once

// The modal window that starts a batch and follows it: job number, batch percentage, the file
// under way (shortened in the middle when long, in full as its tip) and a bar for the whole
// batch; Stop while it runs, Close once it has ended, whichever shows being the button that
// Enter presses. It also asks, for the worker thread, whether an existing output may be
// replaced.

#include <QDialog>
#include <QString>
#include <cstdint>

#include "progress_view.h"

class ConvertCore;
class QCloseEvent;
class QLabel;
class QTimer;

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    // The engine must hold the batch's jobs and outlive the window.
    ProgressWindow(ConvertCore& core, QWidget* owner);
    ~ProgressWindow() override;

    // Installs the overwrite question, starts the worker and the 100 ms tick, and fills the
    // window once. False when the engine could not start the batch.
    bool progressInit();

    // Brings the texts and the bar up to date with the engine; once the batch has ended, swaps
    // Stop for Close, and after a stop closes the window.
    void progressTick();

    // Stop: asks the user, then asks the engine to stop (which may block for up to a second).
    void confirmStop();

    // The engine's confirmCallback; runs on the worker thread with this window as the
    // context and asks on the user-interface thread. 1 means replace.
    static int askOverwrite(int code, std::intptr_t context);

    // Ticks run so far.
    int tickCount() const { return ticks; }

    // Escape does nothing: the only ways out are Close and the automatic close after a stop.
    void reject() override;

protected:
    // Close requests from the window manager are swallowed.
    void closeEvent(QCloseEvent* event) override;
    // The window and its owner minimise and restore together, however the window manager was
    // asked (the owner's box, a taskbar, a shortcut): one alone would leave the other on
    // screen, disabled, or hide the batch with no way back to it.
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void showFileText(QLabel& line, const QString& text, bool isPath);
    static void followMinimised(QWidget& changed, QWidget* other);
    // At the batch's end, when neither window is the active one: the taskbar entry asks for
    // attention and the desktop tells the outcome.
    void tellEnd(bool finished);
    void onCloseCommand();
    void postCloseCommand();

    ConvertCore& core;
    QTimer* timer;
    int ticks = 0;
    rules::TaskbarWatch taskbarWatch;
    bool taskbarShown = false;
    bool endSeen = false;
};

// Shows the progress window modally for the jobs the engine holds and returns once it has
// closed: 1 after Close, 2 when the batch could not be started.
int runProgressWindow(ConvertCore& core, QWidget* owner);
