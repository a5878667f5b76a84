// The progress window under a real window manager (openbox on a virtual display): what the
// frame offers the user, whatever the window manager draws.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include "conversion_support.h"
#include "scripted_core.h"
#include "temp_dir.h"

namespace {

using testing_support::ScriptedCore;
using testing_support::TempDir;
using testing_support::TestPrompts;
using testing_support::waitUntil;

// An X property of a window as xprop prints it; "" when it is not set.
QString property(const QWidget& window, const char* name) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                          QString::fromLatin1(name)});
    xprop.waitForFinished(10000);
    const QString text = QString::fromUtf8(xprop.readAllStandardOutput());
    return text.contains(QStringLiteral("not found")) ? QString() : text;
}

// Counts the times the window became minimised.
class MinimiseCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange &&
            static_cast<QWidget*>(watched)->isMinimized()) {
            ++count;
        }
        return false;
    }
};

TEST(WindowManagerTest, TheProgressWindowCanNeitherBeMaximisedNorStayMinimised) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run through with-window-manager";
    TestPrompts prompts;
    TempDir folder;
    ScriptedCore core;
    core.outputFolder = folder.path();
    core.outputExt = "avi";
    core.addJob("/sources/a.mkv");
    core.setAction("/sources/a.mkv", ScriptedCore::Action::Hold);
    ProgressWindow window(core, nullptr);
    MinimiseCounter minimised;
    window.installEventFilter(&minimised);
    ASSERT_TRUE(window.progressInit());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitUntil([&] { return !property(window, "_NET_WM_ALLOWED_ACTIONS").isEmpty(); }));

    const QString actions = property(window, "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_FALSE(actions.contains("MAXIMIZE")) << actions.toStdString();
    EXPECT_FALSE(actions.contains("_NET_WM_ACTION_RESIZE")) << actions.toStdString();

    // What the frame's minimise box does: ask the window manager to iconify the window.
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("windowminimize"), QString::number(window.winId())});
    ASSERT_TRUE(waitUntil([&] { return minimised.count > 0; }));
    EXPECT_TRUE(waitUntil(
        [&] { return !window.isMinimized() && property(window, "WM_STATE").contains("Normal"); }));
    core.releaseAll();
}

}  // namespace
