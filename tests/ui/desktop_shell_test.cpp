// What the program tells the desktop over the session bus, read by stand-ins for a
// notification service and a dock on a private session bus (run inside dbus-run-session).

#include "desktop_shell.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QVariantMap>
#include <vector>

#include "conversion_support.h"

namespace {

using testing_support::waitUntil;

// A notification service that keeps what it was asked to show.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;
    QStringList bodies;
    QVariantMap lastHints;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int) {
        summaries << summary;
        bodies << body;
        lastHints = hints;
        return static_cast<uint>(summaries.size());
    }
};

// A dock: the launcher entries' updates it hears.
class Dock : public QObject {
    Q_OBJECT

public:
    QStringList uris;
    std::vector<QVariantMap> updates;

public slots:
    void update(const QString& uri, const QVariantMap& properties) {
        uris << uri;
        updates.push_back(properties);
    }
};

TEST(DesktopShellTest, NotificationsReachARunningServiceAndNoneIsMissed) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected()) << "run inside dbus-run-session";
    // No service: nothing is sent, nothing waits.
    EXPECT_FALSE(desktop_shell::notify(QStringLiteral("Kestrova"), QStringLiteral("nobody")));

    QDBusConnection service =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
    FakeNotifications notifications;
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                       &notifications, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    EXPECT_TRUE(desktop_shell::notify(QStringLiteral("Kestrova"),
                                      QStringLiteral("12 of 14 files converted, 1 kept")));
    ASSERT_TRUE(waitUntil([&] { return !notifications.bodies.isEmpty(); }));
    EXPECT_EQ(notifications.summaries, QStringList{"Kestrova"});
    EXPECT_EQ(notifications.bodies, QStringList{"12 of 14 files converted, 1 kept"});
    EXPECT_EQ(notifications.lastHints.value("desktop-entry").toString(),
              "io.github.kestrova.Kestrova");
    service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
}

TEST(DesktopShellTest, TheLauncherEntryShowsEachChangeOfProgressOnce) {
    QDBusConnection dockBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"));
    Dock dock;
    ASSERT_TRUE(
        dockBus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                        QStringLiteral("Update"), &dock, SLOT(update(QString, QVariantMap))));
    using rules::TaskbarState;
    desktop_shell::showProgress({TaskbarState::Normal, 50, 200});
    desktop_shell::showProgress({TaskbarState::Normal, 50, 200});  // no change: not sent
    desktop_shell::showProgress({TaskbarState::Error, 100, 200});
    desktop_shell::showProgress({});
    ASSERT_TRUE(waitUntil([&] { return dock.updates.size() >= 3; }));
    ASSERT_EQ(dock.updates.size(), 3u);
    EXPECT_EQ(dock.uris.front(), "application://io.github.kestrova.Kestrova.desktop");
    EXPECT_DOUBLE_EQ(dock.updates[0].value("progress").toDouble(), 0.25);
    EXPECT_TRUE(dock.updates[0].value("progress-visible").toBool());
    EXPECT_DOUBLE_EQ(dock.updates[1].value("progress").toDouble(), 0.5);
    EXPECT_FALSE(dock.updates[2].value("progress-visible").toBool());
    QDBusConnection::disconnectFromBus(QStringLiteral("dock"));
}

}  // namespace

#include "desktop_shell_test.moc"
