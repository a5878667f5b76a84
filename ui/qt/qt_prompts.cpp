#include "qt_prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <vector>

#include "desktop_shell.h"
#include "key_guard.h"
#include "messages.h"

namespace {

const QString caption = QString::fromUtf8(rules::kCaption);

Prompts* replacementPrompts = nullptr;

// How long xdg-open is given to say that it failed. Its failures come at once; a file manager
// it waits for (on desktops without a launcher of their own) is left running after this.
constexpr int kOpenerAnswerMs = 2000;

QMessageBox::ButtonRole roleOf(rules::ReplaceChoice choice) {
    switch (choice) {
        case rules::ReplaceChoice::Yes:
        case rules::ReplaceChoice::YesToAll:
            return QMessageBox::YesRole;
        case rules::ReplaceChoice::No:
        case rules::ReplaceChoice::NoToAll:
            return QMessageBox::NoRole;
        case rules::ReplaceChoice::Cancel:
            break;
    }
    return QMessageBox::RejectRole;
}

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

rules::ShowAnswer QtPrompts::openFolder(const QString& folder) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        return {QDesktopServices::openUrl(QUrl::fromLocalFile(folder)), {}};
    }
    auto* process = new QProcess(qApp);
    process->setProgram(opener);
    process->setArguments({folder});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start();
    if (!process->waitForStarted()) {
        process->deleteLater();
        return {false, "xdg-open could not be started"};
    }
    if (!process->waitForFinished(kOpenerAnswerMs)) {
        return {};
    }
    const int status = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    // xdg-open's statuses: 3 no program for folders, 2 no such folder, 4 the program failed.
    switch (status) {
        case 0:
            return {};
        case 3:
            return {false, {}};
        case 2:
            return {false, "it doesn't exist"};
        default:
            return {false, "the desktop's folder program failed (xdg-open ended with status " +
                               std::to_string(status) + ")"};
    }
}

void QtPrompts::message(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtPrompts::question(QWidget* owner, const QString& text) {
    guardKeyPresses();
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

rules::ReplaceChoice QtPrompts::replaceQuestion(QWidget* owner, const QString& text) {
    guardKeyPresses();
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::NoButton, owner);
    std::vector<std::pair<QAbstractButton*, rules::ReplaceChoice>> buttons;
    for (const rules::ReplaceButton& entry : rules::kReplaceButtons) {
        auto* button = new QPushButton(QString::fromUtf8(entry.text), &box);
        box.addButton(button, roleOf(entry.choice));
        buttons.emplace_back(button, entry.choice);
        if (entry.choice == rules::ReplaceChoice::Cancel) {
            // Esc and the close box.
            box.setEscapeButton(button);
        }
    }
    box.setDefaultButton(static_cast<QPushButton*>(buttons.front().first));
    box.exec();
    for (const auto& [button, choice] : buttons) {
        if (box.clickedButton() == button) {
            return choice;
        }
    }
    return rules::ReplaceChoice::Cancel;
}

void QtPrompts::taskbarProgress(QWidget*, const rules::TaskbarProgress& progress) {
    desktop_shell::showProgress(progress);
}

void QtPrompts::batchEnded(QWidget* window, const QString& notice) {
    if (window != nullptr) {
        QApplication::alert(window);
    }
    desktop_shell::notify(caption, notice);
}

Prompts& prompts() {
    static QtPrompts dialogs;
    return replacementPrompts != nullptr ? *replacementPrompts : dialogs;
}

void setPrompts(Prompts* replacement) {
    replacementPrompts = replacement;
}
