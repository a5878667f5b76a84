#include "main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <algorithm>

#include "app_state.h"
#include "button_images.h"
#include "controls.h"
#include "conversion_start.h"
#include "convert_core.h"
#include "dialog_units.h"
#include "image_button.h"
#include "key_guard.h"
#include "media_preset.h"
#include "output_folder.h"
#include "preset_list.h"
#include "settings_store.h"
#include "source_list.h"

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "1.0"
#endif

namespace {

bool carriesUrls(const QDropEvent& event) {
    return event.mimeData() != nullptr && event.mimeData()->hasUrls();
}

// Enter and Return press the focused button, as Space does and as in a native dialog. The
// window has no default button, so Enter anywhere else presses nothing.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (!enter || !plain || button == nullptr) {
            return false;
        }
        if (!key->isAutoRepeat()) {
            button->click();
        }
        return true;
    }
};

// With uniform item sizes the list asks its first line alone for the lines' size, so every line
// would be as wide as that one and a longer line would be cut. The answer here is the widest
// line's width, measured once after each change of the list.
class WidestLineDelegate : public QStyledItemDelegate {
public:
    explicit WidestLineDelegate(QListWidget& list) : QStyledItemDelegate(&list), list(list) {
        QAbstractItemModel* model = list.model();
        const auto forget = [this]() { widest = -1; };
        connect(model, &QAbstractItemModel::rowsInserted, this, forget);
        connect(model, &QAbstractItemModel::rowsRemoved, this, forget);
        connect(model, &QAbstractItemModel::modelReset, this, forget);
        connect(model, &QAbstractItemModel::dataChanged, this, forget);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (widest < 0) {
            const QFontMetrics metrics(option.font);
            int text = 0;
            for (int row = 0; row < list.count(); ++row) {
                text = std::max(text, metrics.horizontalAdvance(list.item(row)->text()));
            }
            // What the style adds around a line's text.
            widest = text + size.width() - metrics.horizontalAdvance(index.data().toString());
        }
        size.setWidth(std::max(size.width(), widest));
        return size;
    }

private:
    QListWidget& list;
    mutable int widest = -1;
};

QIcon loadAppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/pictures/kestrova-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace

MainLayout chooseMainLayout(const MediaPreset& catalogue) {
    return catalogue.presetCount() >= 2 ? MainLayout::WithPresets : MainLayout::WithoutPresets;
}

MainWindow::MainWindow(MainLayout layout) : layout_(layout) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    createControls();
    if (!onInitDialog(this)) {
        // Closes again through onClose once the window runs.
        QMetaObject::invokeMethod(this, &MainWindow::reject, Qt::QueuedConnection);
    }
}

MainWindow::~MainWindow() {
    if (mainWindow != this) {
        return;
    }
    mainWindow = nullptr;
    // A window destroyed without being closed still owns the engine.
    if (convertCore != nullptr) {
        convertCore->clearJobs();
        delete convertCore;
        convertCore = nullptr;
    }
}

void MainWindow::createControls() {
    const DialogUnits units(font());
    // The output-folder row moves up into the place of the missing preset row.
    const int shift = layout_ == MainLayout::WithPresets ? 0 : -25;

    const auto imageButton = [&](int id, int x, void (*command)()) {
        auto* button = new ImageButton(id, this);
        button->setGeometry(units.rect(x, 0, 36, 25));
        connect(button, &QAbstractButton::clicked, this, command);
    };
    imageButton(ids::Add, 0, onAddFiles);
    imageButton(ids::Remove, 36, onRemoveSelected);
    imageButton(ids::Clear, 72, onClearList);
    imageButton(ids::Convert, 108, [] { onConvert(); });

    auto* sources = new QListWidget(this);
    sources->setObjectName(controlName(ids::SourceList));
    sources->setGeometry(units.rect(2, 29, 366, 125));
    sources->setSelectionMode(QAbstractItemView::ExtendedSelection);
    sources->setUniformItemSizes(true);
    sources->setItemDelegate(new WidestLineDelegate(*sources));
    sources->setAccessibleName(QStringLiteral("Source Files"));
    // Disabled while empty, yet white around the panel, as a disabled Windows list box is.
    QPalette colours = sources->palette();
    colours.setColor(QPalette::Disabled, QPalette::Base,
                     colours.color(QPalette::Active, QPalette::Base));
    sources->setPalette(colours);
    // Drops anywhere on the window reach the window itself.
    sources->setAcceptDrops(false);
    sources->viewport()->setAcceptDrops(false);

    // A label is never narrower than its text, whatever the font.
    const auto label = [&](int id, const QString& text, int x, int y, int width, int height) {
        auto* widget = new QLabel(text, this);
        widget->setObjectName(controlName(id));
        QRect place = units.rect(x, y, width, height);
        place.setWidth(std::max(place.width(), widget->sizeHint().width()));
        widget->setGeometry(place);
        return widget;
    };

    if (layout_ == MainLayout::WithPresets) {
        QLabel* presetLabel = label(ids::PresetLabel, QStringLiteral("Preset:"), 7, 159, 24, 8);
        auto* presets = new QComboBox(this);
        // Screen readers name a drop-down list by its value and its label.
        presetLabel->setBuddy(presets);
        presets->setObjectName(controlName(ids::PresetList));
        presets->setAccessibleName(QStringLiteral("Preset"));
        // The template's height includes the dropped-down list; the closed box is as tall as
        // the style makes it.
        QRect place = units.rect(7, 170, 358, 30);
        place.setHeight(std::min(place.height(), presets->sizeHint().height()));
        presets->setGeometry(place);
    }

    QLabel* folderLabel =
        label(ids::OutputLabel, QStringLiteral("Output Folder:"), 7, 185 + shift, 48, 8);

    auto* folder = new QLineEdit(this);
    folderLabel->setBuddy(folder);
    folder->setObjectName(controlName(ids::OutputFolder));
    folder->setAccessibleName(QStringLiteral("Output Folder"));
    folder->setGeometry(units.rect(7, 198 + shift, 295, 14));
    // File drags carry their paths as text too; they are meant for the list, not this field.
    folder->setAcceptDrops(false);

    const auto pushButton = [&](int id, const QString& text, int x, int width, void (*command)()) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(controlName(id));
        button->setAutoDefault(false);
        button->setGeometry(units.rect(x, 198 + shift, width, 14));
        connect(button, &QAbstractButton::clicked, this, command);
    };
    pushButton(ids::BrowseFolder, QStringLiteral("..."), 305, 20, onBrowseFolder);
    pushButton(ids::OpenFolder, QStringLiteral("Open"), 325, 40, onOpenFolder);

    // Created last, so that it lies over the list.
    auto* panel = new ImageButton(ids::DropPanel, this);
    panel->setGeometry(units.rect(78, 84, 216, 25));
    panel->setEnabled(false);

    setFixedSize(units.size(372, layout_ == MainLayout::WithPresets ? 219 : 194));

    guardKeyPresses();
    auto* enterPresses = new EnterPressesButton(this);
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        button->installEventFilter(enterPresses);
    }
}

void MainWindow::reject() {
    onClose();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (carriesUrls(*event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (carriesUrls(*event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (carriesUrls(*event)) {
        onDropFiles(*event);
    }
}

bool onInitDialog(QDialog* window) {
    mainWindow = window;
    appIcon = loadAppIcon();
    window->setAcceptDrops(true);
    window->setWindowTitle(QStringLiteral("Kestrova") + u' ' + QStringLiteral(KESTROVA_VERSION));
    window->setWindowIcon(appIcon);
    // The progress window and the prompts take the same icon.
    QApplication::setWindowIcon(appIcon);

    convertCore = new ConvertCore;
    const bool ready = convertCore->isReady();
    if (ready) {
        fillPresetList();
    }
    if (auto* field = control<QLineEdit>(window, ids::OutputFolder)) {
        field->setText(loadOutputFolder());
    }
    createTooltips();
    updateListControls();
    return ready;
}

void onClose() {
    saveOutputFolder(outputFolderText());
    if (convertCore != nullptr) {
        waitForConversionEnd(*convertCore);
        convertCore->clearJobs();
        delete convertCore;
        convertCore = nullptr;
    }
    if (mainWindow != nullptr) {
        mainWindow->done(2);
    }
}
