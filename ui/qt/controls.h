#pragma once

// Controls of the program's windows are addressed by numeric id, looked up when used: the id is
// the widget's objectName. A missing control makes the operation that wanted it do nothing.

#include <QString>
#include <QWidget>

namespace ids {
// Main window
inline constexpr int Convert = 1001;
inline constexpr int BrowseFolder = 1004;
inline constexpr int OutputFolder = 1006;
inline constexpr int PresetList = 1009;
inline constexpr int Add = 1010;
inline constexpr int Remove = 1011;
inline constexpr int Clear = 1012;
inline constexpr int SourceList = 1013;
inline constexpr int OpenFolder = 1014;
inline constexpr int DropPanel = 1015;
inline constexpr int PresetLabel = 1022;
inline constexpr int OutputLabel = 1023;
// Progress window
inline constexpr int FileLine = 1016;
inline constexpr int ProgressBar = 1017;
inline constexpr int BatchLine = 1018;
inline constexpr int Stop = 1020;
inline constexpr int Close = 1021;
}  // namespace ids

inline QString controlName(int id) {
    return QString::number(id);
}

// The child control with this id, or null.
template <class T>
T* control(const QWidget* window, int id) {
    return window != nullptr ? window->findChild<T*>(controlName(id)) : nullptr;
}
