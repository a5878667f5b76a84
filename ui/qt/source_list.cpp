#include "source_list.h"

#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <string_view>
#include <utility>

#include "app_state.h"
#include "controls.h"
#include "convert_core.h"
#include "file_types.h"
#include "listed_paths.h"
#include "prompts.h"
#include "source_lines.h"

namespace {

QListWidget* sourceList() {
    return control<QListWidget>(mainWindow, ids::SourceList);
}

bool isAccepted(const QByteArray& name) {
    return isAcceptedFile(
        std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
}

void addNames(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        addSourceName(QByteArray::fromStdString(name));
    }
}

}  // namespace

bool isListed(const QByteArray& name) {
    QListWidget* list = sourceList();
    return list != nullptr && ListedPaths::of(*list).contains(name);
}

bool isListed(const QString& path) {
    return isListed(QFile::encodeName(path));
}

QByteArray sourceLineName(const QListWidget& list, int row) {
    return lineName(list.model()->index(row, 0));
}

int addSourceName(const QByteArray& name) {
    QListWidget* list = sourceList();
    if (list == nullptr || isListed(name) || !isAccepted(name)) {
        return -1;
    }
    const int row = rules::sortedRow(list->count(), name.toStdString(), [list](int line) {
        return sourceLineName(*list, line).toStdString();
    });
    auto* item = new QListWidgetItem(QFile::decodeName(name));
    item->setData(kNameRole, name);
    list->insertItem(row, item);
    updateListControls();
    return row;
}

int addSourceFile(const QString& path) {
    return addSourceName(QFile::encodeName(path));
}

void updateListControls() {
    const QListWidget* list = sourceList();
    const int count = list != nullptr ? list->count() : -1;
    if (auto* widget = control<QWidget>(mainWindow, ids::SourceList)) {
        widget->setEnabled(count > 0);
    }
    if (auto* panel = control<QWidget>(mainWindow, ids::DropPanel)) {
        panel->setVisible(count == 0);
    }
}

void onAddFiles() {
    const QStringList files = prompts().openFiles(mainWindow, QStringLiteral("Select Files"),
                                                  QStringLiteral("Media Files (*.mkv)"));
    for (const QString& file : files) {
        addSourceFile(file);
    }
}

void onDropFiles(QDropEvent& drop) {
    if (convertCore != nullptr && convertCore->runState == Running) {
        drop.ignore();
        return;
    }
    const QMimeData& data = *drop.mimeData();
    const QByteArray uriList = data.data(QStringLiteral("text/uri-list"));
    if (!uriList.isEmpty()) {
        addNames(rules::localFilesFromUriList(uriList.toStdString()));
    } else {
        for (const QUrl& url : data.urls()) {
            if (url.isLocalFile()) {
                addSourceFile(QDir::toNativeSeparators(url.toLocalFile()));
            }
        }
    }
    // Never a move: the source application must keep its files.
    drop.setDropAction(Qt::CopyAction);
    drop.accept();
}

void addCommandLineFiles(const std::vector<std::string>& arguments) {
    std::vector<std::string> names;
    for (const std::string& argument : arguments) {
        if (auto name = rules::commandLineFile(argument)) {
            names.push_back(std::move(*name));
        }
    }
    addNames(names);
}

void onRemoveSelected() {
    QListWidget* list = sourceList();
    if (list == nullptr) {
        return;
    }
    // Asking every line whether it is selected, and deleting lines while the rest stay
    // selected, each cost time in proportion to the selection's pieces: seconds for a few
    // thousand scattered lines. The selected rows are read once, and the lines go unselected.
    QList<int> rows;
    const QModelIndexList selected = list->selectionModel()->selectedIndexes();
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected) {
        rows << index.row();
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    list->selectionModel()->clearSelection();
    for (int row : rows) {
        delete list->takeItem(row);
    }
    updateListControls();
}

void onClearList() {
    QListWidget* list = sourceList();
    if (list == nullptr) {
        return;
    }
    list->clear();
    updateListControls();
}
