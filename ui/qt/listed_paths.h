#pragma once

// The names of a list's lines (their bytes, rules::ListedNames), kept in step with the list
// through its model's signals, whoever changes the list. Makes the source list's duplicate test
// take the same time for the ten-thousandth file as for the first.

#include <QByteArray>
#include <QObject>

#include "source_lines.h"

class QAbstractItemModel;
class QListWidget;
class QModelIndex;

// The role that holds a line's name as bytes; a line without it is named by its text.
inline constexpr int kNameRole = Qt::UserRole + 1;

// The name of the line at index: its bytes, which its text only shows.
QByteArray lineName(const QModelIndex& index);

class ListedPaths : public QObject {
    Q_OBJECT

public:
    // The index of list, created as its child on first use.
    static ListedPaths& of(QListWidget& list);

    // True when a line's name is exactly name (case-sensitive); never for an empty one.
    bool contains(const QByteArray& name) const;

private:
    explicit ListedPaths(QListWidget& list);

    void rebuild();
    void count(int first, int last, int step);

    QAbstractItemModel& model;
    rules::ListedNames names;
};
