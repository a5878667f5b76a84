# Precompiled headers: the heavy headers that many sources include (the standard library,
# GoogleTest, Qt), compiled once per build tree and set, and reused by every target of that set.
# Reuse needs the same compile flags, so each set has a donor of its own (Qt's targets are
# position-independent, the others are not); the targets' differing -D values are fine, since
# the headers do not read them. GCC's -Winvalid-pch (which CMake adds) makes a mismatch an
# error under KESTROVA_WERROR, so it cannot pass unnoticed.
option(KESTROVA_PCH "Precompile the heavy headers" ON)

set(KESTROVA_PCH_STD
    <algorithm> <atomic> <chrono> <cstdint> <cstdlib> <cstring> <filesystem> <fstream>
    <functional> <map> <memory> <mutex> <optional> <set> <sstream> <string> <string_view>
    <thread> <utility> <vector>)
set(KESTROVA_PCH_GTEST <gtest/gtest.h>)
set(KESTROVA_PCH_QT
    <QApplication> <QComboBox> <QDialog> <QDir> <QFile> <QFileInfo> <QImage> <QLabel>
    <QLineEdit> <QListWidget> <QMessageBox> <QMimeData> <QPainter> <QProgressBar>
    <QPushButton> <QSettings> <QString> <QTimer> <QUrl> <QWidget>)
set(KESTROVA_PCH_QT_TEST <QTest>)

# kestrova_pch_donor(NAME HEADERS... [LIBS...]): an object library that compiles the headers
# for others to reuse; LIBS give it the include folders and definitions they need.
function(kestrova_pch_donor name)
    cmake_parse_arguments(ARG "" "" "HEADERS;LIBS" ${ARGN})
    if(NOT KESTROVA_PCH)
        return()
    endif()
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// Compiles the precompiled headers only.\n")
    add_library(${name} OBJECT ${source})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_precompile_headers(${name} PRIVATE ${ARG_HEADERS})
endfunction()

# kestrova_use_pch(DONOR TARGET...): the targets reuse the donor's precompiled headers.
function(kestrova_use_pch donor)
    if(NOT KESTROVA_PCH)
        return()
    endif()
    foreach(target IN LISTS ARGN)
        target_precompile_headers(${target} REUSE_FROM ${donor})
    endforeach()
endfunction()
