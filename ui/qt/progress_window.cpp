#include "progress_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include "batch_outcome.h"
#include "controls.h"
#include "convert_core.h"
#include "dialog_units.h"
#include "key_guard.h"
#include "messages.h"
#include "progress_view.h"
#include "prompts.h"
#include "replace_question.h"

namespace {

constexpr int kTickMs = 100;

// The one open progress window. Only the user-interface thread reads or writes it, so a
// question arriving from a worker after its window has gone is recognised there.
ProgressWindow* openWindow = nullptr;
// The answers of the batch under way: a "to all" settles every later question, on the worker
// thread without a trip to the window's.
rules::ReplaceAnswers batchAnswers;

QString fromEngine(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

// The path within width: whole when it fits, else its folder shortened in the middle so that
// the file name stays whole; a name too long even alone loses its own middle.
QString shortenPath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) {
        return path;
    }
    const qsizetype cut = path.lastIndexOf(u'/');
    const QString name = cut >= 0 ? path.mid(cut) : path;
    const int folderWidth = width - metrics.horizontalAdvance(name);
    const QString ellipsis(QChar(0x2026));
    if (cut <= 0 || folderWidth < metrics.horizontalAdvance(ellipsis)) {
        return metrics.elidedText(name, Qt::ElideMiddle, width);
    }
    return metrics.elidedText(path.left(cut), Qt::ElideMiddle, folderWidth) + name;
}

// Makes button the one that Enter presses, and puts the focus on it.
void makeDefault(QPushButton* button) {
    if (button != nullptr && !button->isDefault()) {
        button->setDefault(true);
        button->setFocus();
    }
}

template <class T>
T* addControl(QWidget* window, int id, QRect place) {
    auto* widget = new T(window);
    widget->setObjectName(controlName(id));
    widget->setGeometry(place);
    return widget;
}

}  // namespace

ProgressWindow::ProgressWindow(ConvertCore& engine, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      core(engine),
      timer(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Progress"));
    const DialogUnits units(font());

    auto* batch = addControl<QLabel>(this, ids::BatchLine, units.rect(7, 7, 237, 8));
    batch->setAlignment(Qt::AlignCenter);
    batch->setText(QStringLiteral("Total 1/10"));
    auto* file = addControl<QLabel>(this, ids::FileLine, units.rect(7, 22, 237, 8));
    file->setAlignment(Qt::AlignCenter);
    file->setText(QStringLiteral("File Name"));
    auto* bar = addControl<QProgressBar>(this, ids::ProgressBar, units.rect(7, 34, 237, 10));
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    auto* stop = addControl<QPushButton>(this, ids::Stop, units.rect(101, 50, 50, 14));
    stop->setText(QStringLiteral("Stop"));
    auto* close = addControl<QPushButton>(this, ids::Close, units.rect(101, 50, 50, 14));
    close->setText(QStringLiteral("Close"));
    connect(stop, &QPushButton::clicked, this, &ProgressWindow::confirmStop);
    connect(close, &QPushButton::clicked, this, &ProgressWindow::onCloseCommand);

    setFixedSize(units.size(251, 72));
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    timer->setInterval(kTickMs);
    connect(timer, &QTimer::timeout, this, &ProgressWindow::progressTick);
    openWindow = this;
    guardKeyPresses();
    if (owner != nullptr) {
        owner->window()->installEventFilter(this);
    }
}

ProgressWindow::~ProgressWindow() {
    if (openWindow == this) {
        openWindow = nullptr;
    }
    // A batch that ends with the window closes the taskbar's reading of it too.
    if (taskbarShown) {
        prompts().taskbarProgress(parentWidget(), {});
    }
}

bool ProgressWindow::progressInit() {
    core.confirmCallback = &ProgressWindow::askOverwrite;
    core.confirmContext = reinterpret_cast<std::intptr_t>(this);
    batchAnswers.reset();
    if (!core.start()) {
        return false;
    }
    if (auto* stop = control<QPushButton>(this, ids::Stop)) {
        stop->show();
        makeDefault(stop);
    }
    if (auto* close = control<QPushButton>(this, ids::Close)) {
        close->hide();
    }
    timer->start();
    progressTick();
    return true;
}

void ProgressWindow::progressTick() {
    ++ticks;
    const rules::ProgressInput input = rules::readProgress(core);
    const rules::ProgressView view = rules::progressView(input);
    const rules::TaskbarProgress taskbar = taskbarWatch.tick(core, input, view);
    if (taskbarShown || taskbar.state != rules::TaskbarState::None) {
        prompts().taskbarProgress(parentWidget(), taskbar);
        taskbarShown = taskbar.state != rules::TaskbarState::None;
    }

    if (view.finished) {
        if (auto* bar = control<QProgressBar>(this, ids::ProgressBar)) {
            bar->hide();
        }
        timer->stop();
    }
    if (auto* batch = control<QLabel>(this, ids::BatchLine);
        batch != nullptr && !view.batchLine.empty()) {
        batch->setText(fromEngine(view.batchLine));
    }
    if (auto* file = control<QLabel>(this, ids::FileLine);
        file != nullptr && !view.fileLine.empty()) {
        showFileText(*file, fromEngine(view.fileLine), view.fileIsPath);
    }
    if (auto* bar = control<QProgressBar>(this, ids::ProgressBar)) {
        // An empty range would make the bar a busy indicator; an empty bar is meant.
        bar->setRange(0, view.barMaximum > 0 ? view.barMaximum : 1);
        bar->setValue(view.barPosition);
    }

    if (view.ended) {
        if (!endSeen) {
            endSeen = true;
            tellEnd(view.finished);
        }
        if (auto* close = control<QPushButton>(this, ids::Close)) {
            close->show();
            makeDefault(close);
        }
        if (auto* stop = control<QPushButton>(this, ids::Stop)) {
            stop->hide();
        }
        if (view.closeWindow) {
            postCloseCommand();
        }
    }
}

void ProgressWindow::tellEnd(bool finished) {
    // The user who is at the program sees the end in its window.
    if (QApplication::activeWindow() != nullptr) {
        return;
    }
    QWidget* owner = parentWidget();
    const std::string notice = rules::batchNotice(core.jobSnapshots(), !finished);
    prompts().batchEnded(owner != nullptr ? owner->window() : this, fromEngine(notice));
}

void ProgressWindow::showFileText(QLabel& line, const QString& text, bool isPath) {
    const int width = line.contentsRect().width();
    line.setText(isPath ? shortenPath(text, line.fontMetrics(), width) : text);
    line.setToolTip(isPath ? text : QString());
}

void ProgressWindow::confirmStop() {
    if (!prompts().question(this, QString::fromUtf8(rules::kStopQuestion))) {
        return;
    }
    core.requestStop();
}

int ProgressWindow::askOverwrite(int code, std::intptr_t context) {
    if (code != ConfirmOverwrite) {
        return 0;
    }
    auto ask = [context]() -> int {
        ProgressWindow* window = openWindow;
        if (window == nullptr || reinterpret_cast<std::intptr_t>(window) != context) {
            return 0;  // the window has closed: the existing file is kept
        }
        // A batch that is being stopped asks nothing more; keeping the file is the safe answer.
        if (window->core.runState != Running) {
            return 0;
        }
        if (const auto standing = batchAnswers.standing()) {
            return *standing;
        }
        ConvertJob job;
        if (!window->core.getCurrentJob(job)) {
            return 0;
        }
        const QString text = fromEngine(rules::replaceQuestion(job.outputPath));
        return batchAnswers.take(prompts().replaceQuestion(window, text));
    };

    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return 0;
    }
    // A "to all" answers at once; only a stop asked since then is heard first.
    if (const auto standing = batchAnswers.standing()) {
        return *standing;
    }
    if (QThread::currentThread() == app->thread()) {
        return ask();
    }
    // The application object outlives every window, so the call is always delivered and the
    // worker always gets an answer, even when the window has closed in the meantime.
    int answer = 0;
    QMetaObject::invokeMethod(
        app, [&answer, &ask]() { answer = ask(); }, Qt::BlockingQueuedConnection);
    return answer;
}

void ProgressWindow::reject() {}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void ProgressWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
        followMinimised(*this, owner);
    }
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && watched == parentWidget()) {
        followMinimised(*parentWidget(), this);
    }
    return QDialog::eventFilter(watched, event);
}

void ProgressWindow::followMinimised(QWidget& changed, QWidget* other) {
    if (other == nullptr || !other->isVisible() || changed.isMinimized() == other->isMinimized()) {
        return;
    }
    // Asked of the window manager after this change is through, so that its own handling of
    // the window group comes first.
    if (changed.isMinimized()) {
        QMetaObject::invokeMethod(other, &QWidget::showMinimized, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(
            other,
            [other]() {
                other->showNormal();
                other->raise();
            },
            Qt::QueuedConnection);
    }
}

void ProgressWindow::onCloseCommand() {
    done(1);
}

void ProgressWindow::postCloseCommand() {
    QMetaObject::invokeMethod(this, &ProgressWindow::onCloseCommand, Qt::QueuedConnection);
}

int runProgressWindow(ConvertCore& core, QWidget* owner) {
    ProgressWindow window(core, owner);
    if (!window.progressInit()) {
        return 2;
    }
    return window.exec();
}
