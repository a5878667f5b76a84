// Kestrova's desktop program.

#include <QApplication>
#include <string>
#include <vector>

#include "application.h"
#include "desktop_shell.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktop_shell::kDesktopFileName));
    // Qt has taken its own options out; the rest are files to list, as a file manager passes
    // them. Their bytes are the files' names, which need not be text.
    std::vector<std::string> files(argv + 1, argv + argc);
    return runApplication(files);
}
