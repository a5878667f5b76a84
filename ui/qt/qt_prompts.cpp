#include "qt_prompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

const QString caption = QStringLiteral("Kestrova");

Prompts* replacementPrompts = nullptr;

}  // namespace

QStringList QtPrompts::openFiles(QWidget* owner, const QString& title, const QString& filter) {
    QStringList files = QFileDialog::getOpenFileNames(owner, title, QString(), filter);
    for (QString& file : files) {
        file = QDir::toNativeSeparators(file);
    }
    return files;
}

QString QtPrompts::chooseFolder(QWidget* owner, const QString& title,
                                const QString& initialFolder) {
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(owner, title, initialFolder));
}

bool QtPrompts::openFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void QtPrompts::message(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtPrompts::question(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

Prompts& prompts() {
    static QtPrompts dialogs;
    return replacementPrompts != nullptr ? *replacementPrompts : dialogs;
}

void setPrompts(Prompts* replacement) {
    replacementPrompts = replacement;
}
