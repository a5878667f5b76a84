#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWindow>
#include <filesystem>
#include <memory>
#include <utility>

#include "app_state.h"
#include "application.h"
#include "button_images.h"
#include "controls.h"
#include "conversion_support.h"
#include "convert_core.h"
#include "dialog_units.h"
#include "image_button.h"
#include "listed_paths.h"
#include "main_window.h"
#include "media_preset.h"
#include "qt_prompts.h"
#include "scripted_core.h"
#include "settings_store.h"
#include "source_list.h"
#include "temp_dir.h"
#include "ui_support.h"

namespace {

using testing_support::AnsweringPrompts;
using testing_support::dropOnWindow;
using testing_support::fileUrls;
using testing_support::ScopedSettingsFolder;
using testing_support::TempDir;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        initApplication();
        if (buttonImages.empty()) {
            loadButtonImages();
        }
        setPrompts(&answers);
    }
    void TearDown() override {
        window.reset();
        setPrompts(nullptr);
    }

    MainWindow& open(MainLayout layout = MainLayout::WithPresets) {
        window.reset();
        window = std::make_unique<MainWindow>(layout);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    template <class T>
    T* find(int id) const {
        return control<T>(window.get(), id);
    }
    QListWidget* list() const { return find<QListWidget>(ids::SourceList); }
    QWidget* panel() const { return find<QWidget>(ids::DropPanel); }
    QLineEdit* field() const { return find<QLineEdit>(ids::OutputFolder); }

    QStringList lines() const {
        QStringList texts;
        for (int row = 0; row < list()->count(); ++row) {
            texts << list()->item(row)->text();
        }
        return texts;
    }
    bool showsEmptyList() const { return !list()->isEnabled() && panel()->isVisible(); }
    QPoint centreOf(int id) const { return find<QWidget>(id)->geometry().center(); }

    TempDir config;
    ScopedSettingsFolder settings{config.path()};
    AnsweringPrompts answers;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, OpensWithCaptionSavedFolderEmptyListAndFirstPreset) {
    ASSERT_TRUE(saveOutputFolder(QStringLiteral("/srv/films")));
    open();

    EXPECT_EQ(window->windowTitle(), "Kestrova 1.0");
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(mainWindow, window.get());
    EXPECT_NE(convertCore, nullptr);
    EXPECT_EQ(field()->text(), "/srv/films");
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(showsEmptyList());
    EXPECT_EQ(list()->selectionMode(), QAbstractItemView::ExtendedSelection);

    const auto* presets = find<QComboBox>(ids::PresetList);
    ASSERT_NE(presets, nullptr);
    ASSERT_EQ(presets->count(), 4);
    EXPECT_EQ(presets->itemText(3), "MS Compatible AVI");
    EXPECT_EQ(presets->currentText(), "XviD FullScreen");
}

// A catalogue over any table.
class TableCatalogue : public MediaPreset {
public:
    using MediaPreset::MediaPreset;
    const char* presetExtension(int) const override { return "avi"; }
};

TEST_F(MainWindowTest, PresetListSkipsEmptyNamesAndStaysUnselectedWhenEmpty) {
    MediaPreset* const real = presetCatalogue;
    const PresetEntry gappy[] = {
        {"First", "-a", nullptr}, {"", "-b", nullptr}, {"Third", "-c", nullptr}, {}};
    TableCatalogue withGap(gappy);
    presetCatalogue = &withGap;
    open();
    auto* presets = find<QComboBox>(ids::PresetList);
    ASSERT_EQ(presets->count(), 2);
    EXPECT_EQ(presets->itemText(1), "Third");
    EXPECT_EQ(presets->currentIndex(), 0);

    TableCatalogue empty(nullptr);
    presetCatalogue = &empty;
    open();
    EXPECT_EQ(find<QComboBox>(ids::PresetList)->count(), 0);
    EXPECT_EQ(find<QComboBox>(ids::PresetList)->currentIndex(), -1);
    presetCatalogue = real;
}

TEST_F(MainWindowTest, ControlsSitWhereTheDialogUnitsPlaceThemAndTheSizeIsFixed) {
    open();
    const DialogUnits units(window->font());
    EXPECT_EQ(window->size(), units.size(372, 219));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(find<QWidget>(ids::Add)->geometry(), units.rect(0, 0, 36, 25));
    EXPECT_EQ(find<QWidget>(ids::Convert)->geometry(), units.rect(108, 0, 36, 25));
    EXPECT_EQ(list()->geometry(), units.rect(2, 29, 366, 125));
    EXPECT_EQ(panel()->geometry(), units.rect(78, 84, 216, 25));
    EXPECT_EQ(field()->geometry(), units.rect(7, 198, 295, 14));
    EXPECT_EQ(find<QWidget>(ids::OpenFolder)->geometry(), units.rect(325, 198, 40, 14));
    EXPECT_EQ(find<QWidget>(ids::PresetList)->geometry().topLeft(),
              units.rect(7, 170, 0, 0).topLeft());

    // Tab order: the controls in the order of their table.
    const std::vector<int> expected = {ids::Add,          ids::Remove,      ids::Clear,
                                       ids::Convert,      ids::SourceList,  ids::PresetLabel,
                                       ids::PresetList,   ids::OutputLabel, ids::OutputFolder,
                                       ids::BrowseFolder, ids::OpenFolder,  ids::DropPanel};
    std::vector<int> order;
    QWidget* widget = find<QWidget>(ids::Add);
    do {
        bool numbered = false;
        const int id = widget->objectName().toInt(&numbered);
        if (numbered && widget->parentWidget() == window.get()) {
            order.push_back(id);
        }
        widget = widget->nextInFocusChain();
    } while (widget != find<QWidget>(ids::Add));
    EXPECT_EQ(order, expected);
}

TEST_F(MainWindowTest, WithoutPresetsTheOutputRowMovesUp) {
    open(MainLayout::WithoutPresets);
    const DialogUnits units(window->font());
    EXPECT_EQ(find<QWidget>(ids::PresetList), nullptr);
    EXPECT_EQ(find<QWidget>(ids::PresetLabel), nullptr);
    EXPECT_EQ(window->size(), units.size(372, 194));
    EXPECT_EQ(field()->geometry(), units.rect(7, 173, 295, 14));
    EXPECT_EQ(find<QWidget>(ids::BrowseFolder)->geometry(), units.rect(305, 173, 20, 14));
    EXPECT_EQ(find<QWidget>(ids::OutputLabel)->geometry().topLeft(),
              units.rect(7, 160, 0, 0).topLeft());
}

TEST_F(MainWindowTest, LinesFollowTheSharedOrderAndDuplicatesAreTheSameBytes) {
    open();
    EXPECT_EQ(addSourceFile(QStringLiteral("/v/b.mkv")), 0);
    EXPECT_FALSE(showsEmptyList());
    EXPECT_EQ(addSourceFile(QStringLiteral("/v/a.mkv")), 0);
    EXPECT_EQ(addSourceFile(QStringLiteral("/v/C.mkv")), 2);
    EXPECT_EQ(addSourceFile(QStringLiteral("/v/A.mkv")), 0);
    EXPECT_EQ(addSourceFile(QStringLiteral("/v/a.mkv")), -1);
    EXPECT_EQ(lines(), QStringList({"/v/A.mkv", "/v/a.mkv", "/v/b.mkv", "/v/C.mkv"}));
    EXPECT_TRUE(isListed(QStringLiteral("/v/A.mkv")));
    EXPECT_FALSE(isListed(QStringLiteral("/v/c.mkv")));

    // Two names that differ only in bytes that are no text: two lines that look alike, each
    // keeping its own name.
    EXPECT_EQ(addSourceName(QByteArray("/v/d\xfe.mkv")), 4);
    EXPECT_EQ(addSourceName(QByteArray("/v/d\xff.mkv")), 5);
    EXPECT_EQ(addSourceName(QByteArray("/v/d\xff.mkv")), -1);
    EXPECT_EQ(list()->item(4)->text(), list()->item(5)->text());
    EXPECT_EQ(list()->item(5)->text(), QStringLiteral("/v/d\uFFFD.mkv"));
    EXPECT_EQ(sourceLineName(*list(), 5), QByteArray("/v/d\xff.mkv"));
    EXPECT_TRUE(isListed(QByteArray("/v/d\xfe.mkv")));
    EXPECT_FALSE(isListed(QStringLiteral("/v/d\uFFFD.mkv")));
}

// The duplicate test keeps an index of the lines; it must follow the list whoever changes it.
TEST_F(MainWindowTest, DuplicateTestFollowsEveryChangeOfTheList) {
    open();
    for (const char* name : {"/v/a.mkv", "/v/b.mkv", "/v/c.mkv"}) {
        addSourceFile(QString::fromLatin1(name));
    }
    list()->item(1)->setSelected(true);
    find<QAbstractButton>(ids::Remove)->click();
    EXPECT_FALSE(isListed(QStringLiteral("/v/b.mkv")));
    EXPECT_EQ(addSourceFile(QStringLiteral("/v/b.mkv")), 1);

    find<QAbstractButton>(ids::Clear)->click();
    EXPECT_FALSE(isListed(QStringLiteral("/v/a.mkv")));
    EXPECT_EQ(addSourceFile(QStringLiteral("/v/a.mkv")), 0);

    // Changes made on the widget itself: a line's name, a second equal line, a line taken out.
    list()->item(0)->setData(kNameRole, QByteArray("/v/z.mkv"));
    EXPECT_FALSE(isListed(QStringLiteral("/v/a.mkv")));
    EXPECT_TRUE(isListed(QStringLiteral("/v/z.mkv")));
    list()->addItem(QStringLiteral("/v/z.mkv"));
    delete list()->takeItem(0);
    EXPECT_TRUE(isListed(QStringLiteral("/v/z.mkv")));
    delete list()->takeItem(0);
    EXPECT_FALSE(isListed(QStringLiteral("/v/z.mkv")));
    list()->addItem(QString());
    EXPECT_FALSE(isListed(QString()));
}

TEST_F(MainWindowTest, TypeTestRefusesSilently) {
    open();
    const QString longFolder = QStringLiteral("/") + QString(300, u'd');
    for (const QString& accepted :
         {QStringLiteral("/v/movie.MKV"), QStringLiteral("/v/x.mkvx"),
          QStringLiteral("/v/Überraschung ĳ 映画.mkv"), longFolder + QStringLiteral("/clip.mkv")}) {
        EXPECT_GE(addSourceFile(accepted), 0) << accepted.toStdString();
    }
    for (const QString& refused : {QStringLiteral("/v/movie.mkv.bak"), QStringLiteral("/v/noext"),
                                   QStringLiteral("/v/clip.avi"), QString()}) {
        EXPECT_EQ(addSourceFile(refused), -1) << refused.toStdString();
    }
    EXPECT_EQ(list()->count(), 4);
    EXPECT_TRUE(isListed(longFolder + QStringLiteral("/clip.mkv")));
    EXPECT_TRUE(answers.messages.isEmpty());
}

TEST_F(MainWindowTest, AddTakesSeveralFilesFromOneDialog) {
    open();
    answers.filesToOpen = {"/v/c.mkv", "/v/a.mkv", "/v/notes.txt", "/v/b.MKV", "/v/a.mkv"};
    QTest::mouseClick(find<QWidget>(ids::Add), Qt::LeftButton);

    ASSERT_EQ(answers.fileDialogs.size(), 1u);
    EXPECT_EQ(answers.fileDialogs[0].owner, window.get());
    EXPECT_EQ(answers.fileDialogs[0].title, "Select Files");
    EXPECT_EQ(answers.fileDialogs[0].detail, "Media Files (*.mkv)");
    EXPECT_EQ(lines(), QStringList({"/v/a.mkv", "/v/b.MKV", "/v/c.mkv"}));

    answers.filesToOpen.clear();
    find<QAbstractButton>(ids::Add)->click();
    EXPECT_EQ(list()->count(), 3);
}

TEST_F(MainWindowTest, DroppedFilesAndFoldersAreTestedByNameAnywhereOnTheWindow) {
    TempDir clips;
    const std::string clip = clips.write("clip.mkv", "x");
    const std::string other = clips.write("Other.MKV", "x");
    const std::string notes = clips.write("notes.txt", "x");
    const std::string season = clips.file("season");
    const std::string extras = clips.file("extras.mkv");
    std::filesystem::create_directory(season);
    std::filesystem::create_directory(extras);
    open();

    // Over the panel of the empty list.
    QList<QUrl> urls = fileUrls({clip, notes, season, extras, other});
    urls << QUrl(QStringLiteral("https://example.com/remote.mkv"));
    EXPECT_TRUE(dropOnWindow(*window, centreOf(ids::DropPanel), urls));
    EXPECT_EQ(lines(), QStringList({QString::fromStdString(clip), QString::fromStdString(extras),
                                    QString::fromStdString(other)}));
    EXPECT_FALSE(showsEmptyList());

    // Over the filled list, and over the output field, which keeps its text.
    const std::string more = clips.write("more.mkv", "x");
    EXPECT_TRUE(dropOnWindow(*window, centreOf(ids::SourceList), fileUrls({more, clip})));
    const std::string last = clips.write("last.mkv", "x");
    field()->setText(QStringLiteral("/srv/out"));
    EXPECT_TRUE(dropOnWindow(*window, centreOf(ids::OutputFolder), fileUrls({last})));
    EXPECT_EQ(field()->text(), "/srv/out");
    EXPECT_EQ(list()->count(), 5);
}

TEST_F(MainWindowTest, DropWhileABatchRunsIsIgnored) {
    TempDir clips;
    const std::string clip = clips.write("clip.mkv", "x");
    open();
    convertCore->runState = Running;
    EXPECT_FALSE(dropOnWindow(*window, centreOf(ids::DropPanel), fileUrls({clip})));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(showsEmptyList());

    convertCore->runState = Finished;
    EXPECT_TRUE(dropOnWindow(*window, centreOf(ids::DropPanel), fileUrls({clip})));
    EXPECT_EQ(list()->count(), 1);
}

TEST_F(MainWindowTest, RemoveDeletesTheSelectedLinesAndClearDeletesAll) {
    open();
    for (const char* name : {"/v/0.mkv", "/v/1.mkv", "/v/2.mkv", "/v/3.mkv"}) {
        addSourceFile(QString::fromLatin1(name));
    }
    list()->item(1)->setSelected(true);
    list()->item(3)->setSelected(true);
    find<QAbstractButton>(ids::Remove)->click();
    EXPECT_EQ(lines(), QStringList({"/v/0.mkv", "/v/2.mkv"}));

    list()->selectAll();
    find<QAbstractButton>(ids::Remove)->click();
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(showsEmptyList());

    addSourceFile(QStringLiteral("/v/a.mkv"));
    addSourceFile(QStringLiteral("/v/b.mkv"));
    find<QAbstractButton>(ids::Clear)->click();
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(showsEmptyList());
}

TEST_F(MainWindowTest, BrowseStartsAtTheFieldsFolderAndOpenShowsIt) {
    open();
    field()->setText(QStringLiteral("/srv/a"));
    auto* browse = find<QAbstractButton>(ids::BrowseFolder);
    browse->click();
    ASSERT_EQ(answers.folderBrowsers.size(), 1u);
    EXPECT_EQ(answers.folderBrowsers[0].title, "Select a folder");
    EXPECT_EQ(answers.folderBrowsers[0].detail, "/srv/a");
    EXPECT_EQ(field()->text(), "/srv/a");

    answers.folderToChoose = QStringLiteral("/srv/b");
    browse->click();
    EXPECT_EQ(field()->text(), "/srv/b");
    // Only closing stores the folder.
    EXPECT_EQ(loadOutputFolder(), "");

    const QString folder = QString::fromStdString(config.path());
    field()->setText(folder);
    auto* openFolder = find<QAbstractButton>(ids::OpenFolder);
    openFolder->click();
    field()->clear();
    openFolder->click();
    EXPECT_EQ(answers.openedFolders, QStringList({folder}));
    EXPECT_TRUE(answers.messages.isEmpty());
}

TEST_F(MainWindowTest, OpenTellsWhyItCannotShowTheFolder) {
    open();
    const QString folder = QString::fromStdString(config.path());
    field()->setText(folder + "/gone");
    find<QAbstractButton>(ids::OpenFolder)->click();
    answers.folderOpens = false;
    field()->setText(folder);
    find<QAbstractButton>(ids::OpenFolder)->click();
    EXPECT_EQ(answers.openedFolders, QStringList({folder}));
    EXPECT_EQ(answers.messages,
              QStringList({"Cannot open the folder '" + folder + "/gone':\nit doesn't exist.",
                           "Cannot open the folder '" + folder +
                               "':\nno program to show folders is set up on this desktop."}));
}

TEST_F(MainWindowTest, EscapeSavesTheFolderDeletesTheEngineAndEnds) {
    open();
    field()->setText(QStringLiteral("/srv/typed"));
    field()->setFocus();
    QTest::keyClick(field(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), 2);
    EXPECT_EQ(convertCore, nullptr);
    EXPECT_EQ(loadOutputFolder(), "/srv/typed");
}

TEST_F(MainWindowTest, TheCloseBoxSavesAnEmptyFolderToo) {
    ASSERT_TRUE(saveOutputFolder(QStringLiteral("/srv/old")));
    open();
    field()->clear();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(window->result(), 2);
    EXPECT_EQ(convertCore, nullptr);
    EXPECT_EQ(loadOutputFolder(), "");

    // The next window starts empty.
    open();
    EXPECT_EQ(field()->text(), "");
}

TEST_F(MainWindowTest, PictureButtonsNameThemselvesInTipsAndThePanelHasNone) {
    open();
    EXPECT_EQ(find<QWidget>(ids::Add)->toolTip(), "Add");
    EXPECT_EQ(find<QWidget>(ids::Remove)->toolTip(), "Remove");
    EXPECT_EQ(find<QWidget>(ids::Clear)->toolTip(), "Clear");
    EXPECT_EQ(find<QWidget>(ids::Convert)->toolTip(), "Convert");
    EXPECT_EQ(panel()->toolTip(), "");
    EXPECT_FALSE(panel()->isEnabled());
    for (int id : {ids::Add, ids::Remove, ids::Clear, ids::Convert}) {
        EXPECT_EQ(find<QWidget>(id)->accessibleName(), find<QWidget>(id)->toolTip());
    }
}

TEST_F(MainWindowTest, EnterAndSpacePressTheFocusedButtonAndNothingElse) {
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // Keys go where the user's would: to the focused control.
    const auto press = [&](int id, Qt::Key key) {
        find<QWidget>(id)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), key);
    };
    press(ids::Add, Qt::Key_Return);
    press(ids::Add, Qt::Key_Space);
    EXPECT_EQ(answers.fileDialogs.size(), 2u);
    press(ids::BrowseFolder, Qt::Key_Enter);
    press(ids::BrowseFolder, Qt::Key_Space);
    EXPECT_EQ(answers.folderBrowsers.size(), 2u);
    field()->setText(QString::fromStdString(config.path()));
    press(ids::OpenFolder, Qt::Key_Return);
    EXPECT_EQ(answers.openedFolders.size(), 1);

    // Enter in the field or the list presses no button.
    press(ids::OutputFolder, Qt::Key_Return);
    addSourceFile(QStringLiteral("/v/a.mkv"));
    press(ids::SourceList, Qt::Key_Return);
    EXPECT_EQ(answers.fileDialogs.size(), 2u);
    EXPECT_EQ(answers.folderBrowsers.size(), 2u);
    EXPECT_EQ(answers.openedFolders.size(), 1);
    EXPECT_TRUE(window->isVisible());
}

// The focus frame shows on a picture button once the keyboard has moved the focus, not before.
TEST_F(MainWindowTest, PictureButtonsShowTheStylesFocusFrameAfterTab) {
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* add = find<QWidget>(ids::Add);
    auto* remove = find<QWidget>(ids::Remove);
    const QImage restingAdd = add->grab().toImage();
    const QImage restingRemove = remove->grab().toImage();
    add->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(add->hasFocus());
    EXPECT_EQ(add->grab().toImage(), restingAdd) << "a mouse user sees no frame";

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(remove->hasFocus());
    const QImage focused = remove->grab().toImage();
    // The frame runs along the inset rectangle, here at the middle of its left edge; the
    // picture, centred, stays as it was.
    const int inset = ImageButton::kFocusInset;
    const QPoint edge(inset, focused.height() / 2);
    const QPoint centre(focused.width() / 2, focused.height() / 2);
    EXPECT_NE(focused.pixel(edge), restingRemove.pixel(edge));
    EXPECT_EQ(focused.pixel(centre), restingRemove.pixel(centre));
    EXPECT_EQ(add->grab().toImage(), restingAdd) << "only the focused button has it";
}

// A file manager's drop names files by URI; the bytes of a name that is no text survive.
TEST_F(MainWindowTest, DroppedNamesKeepTheirBytes) {
    open();
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"),
                 QByteArray("file:///v/caf%E9.mkv\r\nfile:///v/caf%C3%A9.mkv\r\n"));
    QWindow* handle = window->windowHandle();
    const QPoint pos = centreOf(ids::DropPanel);
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &drop);
    ASSERT_EQ(list()->count(), 2);
    EXPECT_EQ(sourceLineName(*list(), 0), QByteArray("/v/caf\xc3\xa9.mkv"));
    EXPECT_EQ(sourceLineName(*list(), 1), QByteArray("/v/caf\xe9.mkv"));
    EXPECT_EQ(list()->item(1)->text(), QStringLiteral("/v/caf\uFFFD.mkv"));
}

// Every line is as wide as the widest: a long path below a short one is not cut.
TEST_F(MainWindowTest, ALongLineIsNeverCut) {
    open();
    addSourceFile(QStringLiteral("/v/a.mkv"));
    QCoreApplication::processEvents();
    const QString longPath = QStringLiteral("/v/b/") + QString(200, u'x') + QStringLiteral(".mkv");
    addSourceFile(longPath);
    list()->doItemsLayout();
    QCoreApplication::processEvents();
    QListWidgetItem* item = list()->item(1);
    ASSERT_EQ(item->text(), longPath);
    const QRect line = list()->visualItemRect(item);
    EXPECT_GE(line.width(), list()->fontMetrics().horizontalAdvance(longPath));
    EXPECT_TRUE(list()->horizontalScrollBar()->maximum() > 0);
}

// A held Enter: the first press presses Convert, the repeats that follow while the batch runs
// press nothing (not Stop, which has the focus then, nor the stop question's Yes).
TEST_F(MainWindowTest, AHeldEnterOnConvertStartsTheBatchAndNeverStopsIt) {
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* core = new testing_support::ScriptedCore;
    core->setAction("/v/a.mkv", testing_support::ScriptedCore::Action::Hold);
    delete std::exchange(convertCore, core);
    addSourceFile(QStringLiteral("/v/a.mkv"));
    addSourceFile(QStringLiteral("/v/b.mkv"));
    field()->setText(QString::fromStdString(config.path()));

    constexpr int kRepeats = 12;
    int repeats = 0;
    testing_support::ProgressDriver driver;
    driver.onTick = [&](ProgressWindow* progress) {
        if (!core->holding || repeats >= kRepeats) {
            return;
        }
        // What the window system sends for a held key: the shortcut check, the press and the
        // release, each marked as repeated, to the focused control.
        QWidget* target = QApplication::focusWidget() != nullptr
                              ? QApplication::focusWidget()
                              : control<QWidget>(progress, ids::Stop);
        for (const QEvent::Type type :
             {QEvent::ShortcutOverride, QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
            QCoreApplication::sendEvent(target, &key);
        }
        QKeyEvent atWindow(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"),
                           true);
        QCoreApplication::sendEvent(progress, &atWindow);
        if (++repeats == kRepeats) {
            core->releaseAll();
        }
    };
    auto* convert = find<QWidget>(ids::Convert);
    convert->setFocus();
    QTest::keyClick(convert, Qt::Key_Return);

    EXPECT_EQ(repeats, kRepeats);
    EXPECT_TRUE(answers.questions.isEmpty()) << answers.questions.join('|').toStdString();
    EXPECT_EQ(core->runState, Finished);
    EXPECT_EQ(driver.finalBatchLine, "2 / 2 (100%)");
}

// Open through the desktop's xdg-open: its failure comes back as a reason, its success and a
// file manager that it waits for as shown.
TEST(QtPromptsTest, OpenFolderHearsWhenXdgOpenFails) {
    TempDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.path()) + ":" + path);
    const auto opener = [&](const std::string& body) {
        const std::string script = bin.write("xdg-open", "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    };
    QtPrompts desktop;
    const QString folder = QString::fromStdString(bin.path());
    opener("exit 4");
    const rules::ShowAnswer failed = desktop.openFolder(folder);
    EXPECT_FALSE(failed.shown);
    EXPECT_EQ(failed.reason, "the desktop's folder program failed (xdg-open ended with status 4)");
    opener("exit 3");
    EXPECT_EQ(desktop.openFolder(folder).reason, "");
    EXPECT_FALSE(desktop.openFolder(folder).shown);
    opener("exit 0");
    EXPECT_TRUE(desktop.openFolder(folder).shown);
    opener("exec sleep 10");
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(desktop.openFolder(folder).shown);
    EXPECT_LT(waited.elapsed(), 9000);
    qputenv("PATH", path);
}

}  // namespace
