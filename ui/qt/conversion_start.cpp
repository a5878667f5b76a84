#include "conversion_start.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "app_state.h"
#include "batch_outcome.h"
#include "controls.h"
#include "convert_checks.h"
#include "convert_core.h"
#include "converter.h"
#include "media_preset.h"
#include "platform.h"
#include "progress_window.h"
#include "prompts.h"
#include "source_list.h"

namespace {

std::string toEngine(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

QString fromEngine(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

bool workerActive(const ConvertCore& core) {
    const int state = core.runState;
    return state == Running || state == StopRequested;
}

}  // namespace

std::string buildToolPath() {
    return converter::toolPathIn(platform::executableFolder());
}

int comboSelection(const QWidget* window, int controlId) {
    const auto* combo = control<QComboBox>(window, controlId);
    return combo != nullptr ? combo->currentIndex() : -1;
}

void waitForConversionEnd(ConvertCore& core) {
    if (workerActive(core)) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&loop, &core]() {
            if (!workerActive(core)) {
                loop.quit();
            }
        });
        poll.start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        QApplication::restoreOverrideCursor();
    }
    // Past its final state the worker only returns, so joining it is quick.
    core.waitForWorker();
}

bool onConvert() {
    auto* list = control<QListWidget>(mainWindow, ids::SourceList);
    if (list == nullptr || convertCore == nullptr || presetCatalogue == nullptr) {
        return false;
    }
    const int lines = list->count();
    auto* folderField = control<QLineEdit>(mainWindow, ids::OutputFolder);
    QString folder = folderField != nullptr ? folderField->text() : QString();
    // The converter runs in a folder of its own: a relative folder is made whole here, and
    // shown (and so stored) as such.
    folder = fromEngine(rules::absoluteOutputFolder(toEngine(folder), toEngine(QDir::homePath())));
    if (folderField != nullptr && folderField->text() != folder) {
        folderField->setText(folder);
    }
    int preset = 0;
    if (presetCatalogue->presetCount() >= 2) {
        preset = std::max(comboSelection(mainWindow, ids::PresetList), 0);
    }
    const std::string toolPath = buildToolPath();
    const rules::Refusal refusal = rules::checkConvert({lines, toEngine(folder), toolPath});
    if (refusal != rules::Refusal::None) {
        prompts().message(mainWindow, QString::fromStdString(rules::refusalText(refusal)));
        return false;
    }

    ConvertCore& core = *convertCore;
    // A batch that was stopped may still be ending; the new one must not overlap it.
    waitForConversionEnd(core);
    rules::setUpBatch(core, toolPath, toEngine(folder), *presetCatalogue, preset);
    std::vector<std::string> sources;
    for (int line = 0; line < lines; ++line) {
        sources.push_back(sourceLineName(*list, line).toStdString());
    }
    if (!rules::queueLines(core, sources)) {
        return false;
    }

    runProgressWindow(core, mainWindow);
    showBatchOutcome();
    return true;
}

void showBatchOutcome() {
    auto* list = control<QListWidget>(mainWindow, ids::SourceList);
    if (list == nullptr || convertCore == nullptr) {
        return;
    }
    const rules::BatchOutcome outcome = rules::batchOutcome(*convertCore);
    const int shared = std::min(list->count(), static_cast<int>(outcome.lines.size()));
    if (shared > 0) {
        // One selection change for all lines: selecting them one by one costs seconds on long
        // lists.
        const QAbstractItemModel* lines = list->model();
        QItemSelection finished;
        int runStart = -1;
        for (int line = 0; line <= shared; ++line) {
            const bool done =
                line < shared && outcome.lines[static_cast<std::size_t>(line)].selected;
            if (done && runStart < 0) {
                runStart = line;
            } else if (!done && runStart >= 0) {
                finished.select(lines->index(runStart, 0), lines->index(line - 1, 0));
                runStart = -1;
            }
        }
        QItemSelectionModel* selection = list->selectionModel();
        selection->select(QItemSelection(lines->index(0, 0), lines->index(shared - 1, 0)),
                          QItemSelectionModel::Deselect);
        selection->select(finished, QItemSelectionModel::Select);
    }
    for (int line = 0; line < shared; ++line) {
        QListWidgetItem* item = list->item(line);
        const QString tip = fromEngine(outcome.lines[static_cast<std::size_t>(line)].tooltip);
        // Each change repaints the line; most lines keep their tip from batch to batch. A
        // screen reader, which has no tips, reads the same as the line's description.
        if (item->toolTip() != tip) {
            item->setToolTip(tip);
            item->setData(Qt::AccessibleDescriptionRole, tip);
        }
    }
    if (!outcome.failureSummary.empty()) {
        prompts().message(mainWindow, fromEngine(outcome.failureSummary));
    }
}
