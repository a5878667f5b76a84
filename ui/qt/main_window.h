#pragma once

// The main window: four picture buttons, the source list, the preset list and the output-folder
// row. Shown modally for the whole run; it creates the engine when it opens and deletes it when
// it closes.

#include <QDialog>

class MediaPreset;

// The two layouts of the main window: with the preset row when the catalogue offers a choice,
// without it (and the output-folder row 25 dialog units higher) otherwise.
enum class MainLayout {
    WithPresets,     // 372 x 219 dialog units
    WithoutPresets,  // 372 x 194 dialog units
};

// WithPresets for a catalogue of 2 or more presets.
MainLayout chooseMainLayout(const MediaPreset& catalogue);

class MainWindow : public QDialog {
    Q_OBJECT

public:
    explicit MainWindow(MainLayout layout);
    ~MainWindow() override;

    MainLayout layout() const { return layout_; }

public slots:
    // Esc, the close box, Alt+F4 and the window menu's Close all end the window here.
    void reject() override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();

    MainLayout layout_;
};

// Makes window the main window: caption, icon, the engine, the preset list, the saved output
// folder, the tips and the empty list's look. Returns the engine's isReady answer.
bool onInitDialog(QDialog* window);

// Saves the output folder, deletes the engine and ends the main window with result 2.
void onClose();
