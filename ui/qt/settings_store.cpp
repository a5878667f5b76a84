#include "settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>
#include <memory>

#include "app_state.h"
#include "media_preset.h"

namespace {

const QString organisation = QStringLiteral("Morvanta");
const QString valueName = QStringLiteral("out_dir");

std::unique_ptr<QSettings> openSettingsKey() {
    const QString key = settingsKeyPath();
    const qsizetype slash = key.indexOf(u'/');
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       key.left(slash), key.mid(slash + 1));
}

// Reading a registry key creates it on a first run; a settings file only appears when written,
// so make the empty one here.
void leaveEmptyKeyBehind([[maybe_unused]] const QSettings& settings) {
#ifndef Q_OS_WIN
    const QFileInfo file(settings.fileName());
    if (file.exists() || !QDir().mkpath(file.absolutePath())) {
        return;
    }
    QFile(file.absoluteFilePath()).open(QIODevice::WriteOnly);
#endif
}

}  // namespace

QString settingsKeyPath() {
    return organisation + u'/' + QString::fromUtf8(presetCatalogue->presetExtension(0));
}

QString loadOutputFolder() {
    const auto settings = openSettingsKey();
    leaveEmptyKeyBehind(*settings);
    const QVariant value = settings->value(valueName);
    if (value.typeId() != QMetaType::QString) {
        return QString();
    }
    QString folder = value.toString();
    const qsizetype zero = folder.indexOf(QChar(u'\0'));
    if (zero >= 0) {
        folder.truncate(zero);
    }
    return folder;
}

bool saveOutputFolder(const QString& folder) {
    const auto settings = openSettingsKey();
    // A null text would be stored as no value at all.
    settings->setValue(valueName, folder.isNull() ? QStringLiteral("") : folder);
    settings->sync();
    return settings->status() == QSettings::NoError;
}
