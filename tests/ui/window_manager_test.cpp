// The progress window under a real window manager (openbox on a virtual display): what the
// frame offers the user, whatever the window manager draws.

#include <gtest/gtest.h>

#include <QDialog>
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

QString wmState(const QWidget& window) {
    const QString state = property(window, "WM_STATE");
    return state.contains("Iconic") ? "Iconic" : state.contains("Normal") ? "Normal" : state;
}

// Asks the window manager, as the user would through a frame's box or the taskbar.
void windowManager(const char* action, const QWidget& window) {
    QProcess::execute(QStringLiteral("xdotool"),
                      {QString::fromLatin1(action), QString::number(window.winId())});
}

TEST(WindowManagerTest, TheProgressWindowCannotBeMaximisedAndGoesAndComesBackWithTheMainWindow) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run through with-window-manager";
    TestPrompts prompts;
    TempDir folder;
    ScriptedCore core;
    core.outputFolder = folder.path();
    core.outputExt = "avi";
    core.addJob("/sources/a.mkv");
    core.setAction("/sources/a.mkv", ScriptedCore::Action::Hold);
    QDialog main;
    main.setWindowTitle(QStringLiteral("Kestrova 1.0"));
    main.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint);
    main.resize(400, 300);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ProgressWindow window(core, &main);
    ASSERT_TRUE(window.progressInit());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitUntil([&] { return !property(window, "_NET_WM_ALLOWED_ACTIONS").isEmpty(); }));

    const QString actions = property(window, "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_FALSE(actions.contains("MAXIMIZE")) << actions.toStdString();
    EXPECT_FALSE(actions.contains("_NET_WM_ACTION_RESIZE")) << actions.toStdString();

    const auto both = [&](const char* state) {
        return waitUntil([&] { return wmState(window) == state && wmState(main) == state; });
    };
    // Either window minimised takes the other along; either restored brings both back.
    windowManager("windowminimize", window);
    EXPECT_TRUE(both("Iconic")) << wmState(window).toStdString() << wmState(main).toStdString();
    windowManager("windowactivate", main);
    EXPECT_TRUE(both("Normal")) << wmState(window).toStdString() << wmState(main).toStdString();
    windowManager("windowminimize", main);
    EXPECT_TRUE(both("Iconic")) << wmState(window).toStdString() << wmState(main).toStdString();
    windowManager("windowactivate", window);
    EXPECT_TRUE(both("Normal")) << wmState(window).toStdString() << wmState(main).toStdString();
    // And the batch went on meanwhile.
    EXPECT_EQ(core.runState, Running);
    core.releaseAll();
}

}  // namespace
