#include "listed_paths.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QListWidget>

QByteArray lineName(const QModelIndex& index) {
    const QVariant name = index.data(kNameRole);
    return name.isValid() ? name.toByteArray()
                          : QFile::encodeName(index.data(Qt::DisplayRole).toString());
}

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
    // The old name of a changed line is gone by now; such changes are rare, so count afresh.
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole) ||
                    roles.contains(Qt::EditRole) || roles.contains(kNameRole)) {
                    rebuild();
                }
            });
    rebuild();
}

bool ListedPaths::contains(const QByteArray& name) const {
    return names.contains(name.toStdString());
}

void ListedPaths::rebuild() {
    names.clear();
    count(0, model.rowCount() - 1, 1);
}

void ListedPaths::count(int first, int last, int step) {
    for (int row = first; row <= last; ++row) {
        const std::string name = lineName(model.index(row, 0)).toStdString();
        if (step > 0) {
            names.add(name);
        } else {
            names.remove(name);
        }
    }
}
