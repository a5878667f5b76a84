// Kestrova's desktop program.

#include <QApplication>
#include <QSettings>
#include <string>
#include <vector>

#include "application.h"
#include "desktop_shell.h"
#include "platform.h"

int main(int argc, char** argv) {
    // Qt would take a relative XDG_CONFIG_HOME or HOME as it stands, against whatever folder the
    // program was started in.
    if (const std::string folder = platform::configFolder(); !folder.empty()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromLocal8Bit(folder.c_str()));
    }
    QApplication application(argc, argv);
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktop_shell::kDesktopFileName));
    // Qt has taken its own options out; the rest are files to list, as a file manager passes
    // them. Their bytes are the files' names, which need not be text.
    std::vector<std::string> files(argv + 1, argv + argc);
    return runApplication(files);
}
