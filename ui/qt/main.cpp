// Kestrova's desktop program.

#include <QApplication>

#include "application.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kestrova.Kestrova"));
    // Qt has taken its own options out; the rest are files to list, as a file manager passes.
    return runApplication(QApplication::arguments().mid(1));
}
