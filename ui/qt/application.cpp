#include "application.h"

#include "app_state.h"
#include "button_images.h"
#include "main_window.h"
#include "media_preset.h"
#include "source_list.h"

bool initApplication() {
    mainWindow = nullptr;
    appIcon = QIcon();
    convertCore = nullptr;
    // The catalogue lives until the process ends.
    if (presetCatalogue == nullptr) {
        presetCatalogue = new MkvAvi;
    }
    return true;
}

void releaseApplication() {
    buttonImages.clear();
    sharpButtonImages.clear();
}

int runApplication(const QStringList& files) {
    initApplication();
    if (!loadButtonImages()) {
        return 0;
    }
    {
        MainWindow window(chooseMainLayout(*presetCatalogue));
        addCommandLineFiles(files);
        window.exec();
    }
    releaseApplication();
    return 0;
}
