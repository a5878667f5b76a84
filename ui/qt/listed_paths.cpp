#include "listed_paths.h"

#include <QAbstractItemModel>
#include <QListWidget>

ListedPaths& ListedPaths::of(QListWidget& list) {
    if (auto* existing = list.findChild<ListedPaths*>(QString(), Qt::FindDirectChildrenOnly)) {
        return *existing;
    }
    return *new ListedPaths(list);
}

// Reads go to the model, not the widget: the model clears itself, and signals so, while the
// widget around it is being destroyed.
ListedPaths::ListedPaths(QListWidget& list) : QObject(&list), model(*list.model()) {
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { count(first, last, 1); });
    connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { count(first, last, -1); });
    connect(&model, &QAbstractItemModel::modelReset, this, &ListedPaths::rebuild);
    // The old text of a changed line is gone by now; such changes are rare, so count afresh.
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole) ||
                    roles.contains(Qt::EditRole)) {
                    rebuild();
                }
            });
    rebuild();
}

bool ListedPaths::contains(const QString& text) const {
    return !text.isEmpty() && lines.contains(text);
}

void ListedPaths::rebuild() {
    lines.clear();
    count(0, model.rowCount() - 1, 1);
}

void ListedPaths::count(int first, int last, int step) {
    for (int row = first; row <= last; ++row) {
        const QString text = model.index(row, 0).data(Qt::DisplayRole).toString();
        int& number = lines[text];
        number += step;
        if (number <= 0) {
            lines.remove(text);
        }
    }
}
