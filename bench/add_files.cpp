// How long the main window takes to take a drop of many files: 10,000 files on an empty list,
// then 10,000 more of which half are listed already, each timed from the drag entering the
// window until the window has laid out and repainted its list. Drops of 5,000, 10,000 and
// 20,000 files show how the time grows. Also timed: Remove with every other line of the filled
// list selected. Run by hand: add_files [runs]; the last line is the
// figure.

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "app_state.h"
#include "application.h"
#include "bench_support.h"
#include "button_images.h"
#include "controls.h"
#include "main_window.h"
#include "media_preset.h"

namespace {

using bench_support::Clock;

// File names as a camera or a file manager makes them, in mixed case so that the sorted
// insertion compares without regard to case.
QUrl fileUrl(int number) {
    static const char* const stems[] = {"Holiday", "holiday", "Trip", "concert", "GARDEN"};
    return QUrl::fromLocalFile(QStringLiteral("/home/viewer/Videos/Archive %1/%2 %3.mkv")
                                   .arg(number % 7)
                                   .arg(QString::fromLatin1(stems[number % 5]))
                                   .arg(number, 5, 10, QLatin1Char('0')));
}

// Files first..first+count-1, in a shuffled order.
QList<QUrl> shuffledUrls(int first, int count, std::mt19937& random) {
    std::vector<int> numbers(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        numbers[static_cast<std::size_t>(i)] = first + i;
    }
    std::shuffle(numbers.begin(), numbers.end(), random);
    QList<QUrl> urls;
    urls.reserve(count);
    for (int number : numbers) {
        urls << fileUrl(number);
    }
    return urls;
}

// The drag enters the window and drops there, as the window system delivers it (the same
// events as the desktop program's tests send); returns the milliseconds until the window has
// settled, and in cpu those of this thread's processor time. Exits when the drop was refused.
double timeDrop(QWidget& window, const QMimeData& data, double* cpu = nullptr) {
    QWindow* handle = window.windowHandle();
    const QPoint pos = window.rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    const double cpuStart = bench_support::threadCpuMilliseconds();
    const Clock::time_point start = Clock::now();
    QDragEnterEvent enter(pos, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &enter);
    QDropEvent drop(QPointF(pos), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &drop);
    bench_support::settle();
    const double elapsed = bench_support::millisecondsSince(start);
    if (cpu != nullptr) {
        *cpu = bench_support::threadCpuMilliseconds() - cpuStart;
    }
    if (!enter.isAccepted() || !drop.isAccepted()) {
        std::fprintf(stderr, "the window refused the drop\n");
        std::exit(1);
    }
    return elapsed;
}

int listCount(const QWidget& window) {
    const auto* list = control<QListWidget>(&window, ids::SourceList);
    return list != nullptr ? list->count() : -1;
}

void expectCount(const QWidget& window, int expected) {
    if (listCount(window) != expected) {
        std::fprintf(stderr, "the list holds %d lines, expected %d\n", listCount(window), expected);
        std::exit(1);
    }
}

std::unique_ptr<MainWindow> openWindow() {
    auto window = std::make_unique<MainWindow>(chooseMainLayout(*presetCatalogue));
    bench_support::showAndWait(*window);
    return window;
}

struct Figures {
    std::vector<double> first;     // the drop on the empty list
    std::vector<double> firstCpu;  // its processor time
    std::vector<double> second;    // the drop of new and listed files on the filled list
    std::vector<double> remove;    // Remove with every other line selected
};

// Selects every other line, as a batch in which every other job failed leaves the list, and
// presses Remove; returns the milliseconds until the window has settled.
double timeRemoveEveryOther(QWidget& window) {
    auto* list = control<QListWidget>(&window, ids::SourceList);
    auto* remove = control<QAbstractButton>(&window, ids::Remove);
    if (list == nullptr || remove == nullptr) {
        std::fprintf(stderr, "the main window lacks its list or Remove\n");
        std::exit(1);
    }
    {
        // A selection holds its ends as persistent indexes, which every removal updates.
        QItemSelection lines;
        for (int row = 0; row < list->count(); row += 2) {
            const QModelIndex index = list->model()->index(row, 0);
            lines.select(index, index);
        }
        list->selectionModel()->select(lines, QItemSelectionModel::ClearAndSelect);
    }
    bench_support::settle();
    const Clock::time_point start = Clock::now();
    remove->click();
    bench_support::settle();
    return bench_support::millisecondsSince(start);
}

// One drop of count files on a fresh window; with second, then the drop of count more of
// which half are listed.
void measure(int count, bool second, std::mt19937& random, Figures& figures) {
    const QList<QUrl> urls = shuffledUrls(0, count, random);
    QMimeData data;
    data.setUrls(urls);
    auto window = openWindow();
    double cpu = 0;
    figures.first.push_back(timeDrop(*window, data, &cpu));
    figures.firstCpu.push_back(cpu);
    expectCount(*window, count);
    if (!second) {
        return;
    }
    QList<QUrl> mixed = shuffledUrls(count, count / 2, random);
    QList<QUrl> listed = urls;
    std::shuffle(listed.begin(), listed.end(), random);
    mixed << listed.mid(0, count - count / 2);
    std::shuffle(mixed.begin(), mixed.end(), random);
    QMimeData more;
    more.setUrls(mixed);
    figures.second.push_back(timeDrop(*window, more));
    expectCount(*window, count + count / 2);
    const int lines = listCount(*window);
    figures.remove.push_back(timeRemoveEveryOther(*window));
    expectCount(*window, lines / 2);
}

// How much the time of a drop should grow from n to 2n files when it grows as n log n.
double nLogNRatio(int n) {
    return 2.0 * std::log(2.0 * n) / std::log(static_cast<double>(n));
}

}  // namespace

int main(int argc, char** argv) {
    bench_support::defaultToOffscreen();
    QApplication application(argc, argv);
    bench_support::PrivateSettings settings;
    const int runs = bench_support::runsFromArguments(argc, argv, 5);
    initApplication();
    loadButtonImages();

    std::mt19937 random(20240611);
    const int sizes[] = {5000, 10000, 20000};
    Figures figures[3];
    // Sizes interleaved, so that a busy moment of the machine does not fall on one size only.
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < 3; ++i) {
            measure(sizes[i], sizes[i] == 10000, random, figures[i]);
        }
    }

    double first[3];
    double cpu[3];
    for (int i = 0; i < 3; ++i) {
        first[i] = bench_support::median(figures[i].first);
        cpu[i] = bench_support::median(figures[i].firstCpu);
        std::printf("drop %d files on the empty list ms %.1f, processor ms %.1f (medians of %d)\n",
                    sizes[i], first[i], cpu[i], runs);
    }
    // Growth in processor time, which other processes on the machine disturb far less than the
    // time on the clock. A quarter over the n log n ratio is left for the noise of timing;
    // quadratic growth would show about 4.
    const double growth1 = cpu[1] / cpu[0];
    const double growth2 = cpu[2] / cpu[1];
    const double limit1 = nLogNRatio(sizes[0]);
    const double limit2 = nLogNRatio(sizes[1]);
    const bool withinNLogN = growth1 <= limit1 * 1.25 && growth2 <= limit2 * 1.25;
    std::printf("growth 5000->10000 x%.2f, 10000->20000 x%.2f (n log n x%.2f, x%.2f; n^2 x4): %s\n",
                growth1, growth2, limit1, limit2,
                withinNLogN ? "no worse than n log n" : "WORSE than n log n");
    std::printf("add 10000 more files, 5000 of them listed already, ms %.1f\n",
                bench_support::median(figures[1].second));
    std::printf("remove every other line of 15000 ms %.1f\n",
                bench_support::median(figures[1].remove));
    std::printf("add 10000 files ms %.0f\n", first[1]);
    return 0;
}
