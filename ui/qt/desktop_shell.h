#pragma once

// What the program tells the desktop over the session bus: a batch's progress on its launcher
// entry (com.canonical.Unity.LauncherEntry, which Plasma's task manager and GNOME's docks
// read), and a notification (org.freedesktop.Notifications). Nothing happens without a session
// bus, or without a notification service.

#include <QString>

#include "progress_view.h"

namespace desktop_shell {

// The desktop file the launcher entry belongs to.
inline constexpr const char* kDesktopFileName = "io.github.kestrova.Kestrova";

// Sends the progress when it differs from what was sent last; None hides it.
void showProgress(const rules::TaskbarProgress& progress);

// True when the notification was handed to a running service.
bool notify(const QString& summary, const QString& body);

}  // namespace desktop_shell
