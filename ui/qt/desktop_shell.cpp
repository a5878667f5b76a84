#include "desktop_shell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>
#include <cmath>
#include <optional>

namespace desktop_shell {

namespace {

const QString kLauncherInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");

QString applicationUri() {
    return QStringLiteral("application://%1.desktop").arg(QLatin1String(kDesktopFileName));
}

}  // namespace

void showProgress(const rules::TaskbarProgress& progress) {
    // A tick comes ten times a second; the entry only needs each visible change.
    static std::optional<std::pair<bool, int>> lastSent;
    const bool visible = progress.state != rules::TaskbarState::None && progress.maximum > 0;
    const int permille =
        visible ? static_cast<int>(std::lround(1000.0 * progress.position / progress.maximum)) : 0;
    if (lastSent && *lastSent == std::pair(visible, permille)) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    lastSent = std::pair(visible, permille);
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/io/github/kestrova/Kestrova"),
                                                     kLauncherInterface, QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress-visible"), visible);
    properties.insert(QStringLiteral("progress"), permille / 1000.0);
    update << applicationUri() << properties;
    bus.send(update);
}

bool notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Asked first, so that no service is started for it and no call waits on a missing one.
    if (!bus.isConnected() || bus.interface() == nullptr ||
        !bus.interface()->isServiceRegistered(kNotifications).value()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kNotifications, QStringLiteral("/org/freedesktop/Notifications"), kNotifications,
        QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopFileName));
    call << QStringLiteral("Kestrova") << 0u << QString::fromLatin1(kDesktopFileName) << summary
         << body << QStringList() << hints << -1;
    return bus.send(call);
}

}  // namespace desktop_shell
