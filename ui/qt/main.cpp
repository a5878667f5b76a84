// Kestrova's desktop program.

#include <QApplication>

#include "application.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return runApplication();
}
