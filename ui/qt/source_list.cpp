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

#include "app_state.h"
#include "controls.h"
#include "convert_core.h"
#include "file_types.h"
#include "listed_paths.h"
#include "prompts.h"

namespace {

QListWidget* sourceList() {
    return control<QListWidget>(mainWindow, ids::SourceList);
}

bool isAccepted(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    return isAcceptedFile(
        std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
}

// Where a sorted Windows list box puts a new line: after every line that does not sort after
// it, comparing without regard to case.
int sortedRow(const QListWidget& list, const QString& path) {
    int low = 0;
    int high = list.count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (QString::compare(list.item(middle)->text(), path, Qt::CaseInsensitive) <= 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

void addLocalFiles(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            addSourceFile(QDir::toNativeSeparators(url.toLocalFile()));
        }
    }
}

}  // namespace

bool isListed(const QString& path) {
    QListWidget* list = sourceList();
    return list != nullptr && ListedPaths::of(*list).contains(path);
}

int addSourceFile(const QString& path) {
    QListWidget* list = sourceList();
    if (list == nullptr || isListed(path) || !isAccepted(path)) {
        return -1;
    }
    const int row = sortedRow(*list, path);
    list->insertItem(row, path);
    updateListControls();
    return row;
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
    addLocalFiles(drop.mimeData()->urls());
    // Never a move: the source application must keep its files.
    drop.setDropAction(Qt::CopyAction);
    drop.accept();
}

void addCommandLineFiles(const QStringList& arguments) {
    QList<QUrl> urls;
    for (const QString& argument : arguments) {
        const QUrl url(argument);
        // A name that is not a local file but reads as an address with a scheme is taken as
        // one; only local files are listed.
        if (!QFileInfo::exists(argument) && url.isValid() && url.scheme().size() > 1) {
            urls << url;
        } else if (!argument.isEmpty()) {
            urls << QUrl::fromLocalFile(
                QDir::cleanPath(QDir::current().absoluteFilePath(argument)));
        }
    }
    addLocalFiles(urls);
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
