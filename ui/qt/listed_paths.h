#pragma once

// The texts of a list's lines, counted in a hash and kept in step with the list through its
// model's signals, whoever changes the list. Makes the source list's duplicate test take the
// same time for the ten-thousandth file as for the first.

#include <QHash>
#include <QObject>
#include <QString>

class QAbstractItemModel;
class QListWidget;

class ListedPaths : public QObject {
    Q_OBJECT

public:
    // The index of list, created as its child on first use.
    static ListedPaths& of(QListWidget& list);

    // True when a line's text is exactly text (case-sensitive); never for an empty text.
    bool contains(const QString& text) const;

private:
    explicit ListedPaths(QListWidget& list);

    void rebuild();
    void count(int first, int last, int step);

    QAbstractItemModel& model;
    QHash<QString, int> lines;  // text → number of lines with it
};
