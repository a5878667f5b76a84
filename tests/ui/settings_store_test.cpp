#include <gtest/gtest.h>

#include <QByteArray>
#include <QFileInfo>
#include <QSettings>
#include <QSize>
#include <memory>

#include "application.h"
#include "settings_store.h"
#include "temp_dir.h"
#include "ui_support.h"

namespace {

using testing_support::ScopedSettingsFolder;
using testing_support::TempDir;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { initApplication(); }

    QString settingsFile() const {
        return QString::fromStdString(config.file("Morvanta/avi.conf"));
    }
    // The store as any other program would see it.
    static std::unique_ptr<QSettings> store() {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("Morvanta"), QStringLiteral("avi"));
    }
    static void storeRaw(const QVariant& value) {
        auto settings = store();
        settings->setValue(QStringLiteral("out_dir"), value);
        settings->sync();
    }

    TempDir config;
    ScopedSettingsFolder settings{config.path()};
};

TEST_F(SettingsStoreTest, FirstReadOnACleanProfileLeavesTheEmptyKeyBehind) {
    EXPECT_EQ(settingsKeyPath(), "Morvanta/avi");
    ASSERT_FALSE(QFileInfo::exists(settingsFile()));
    EXPECT_EQ(loadOutputFolder(), "");
    const QFileInfo file(settingsFile());
    EXPECT_TRUE(file.isFile());
    EXPECT_EQ(file.size(), 0);
    EXPECT_EQ(loadOutputFolder(), "");
}

TEST_F(SettingsStoreTest, FoldersReadBackAsWritten) {
    for (const QString& folder :
         {QStringLiteral("/srv/Out"), QStringLiteral("/home/ünï/Vidéos, \"quoted\"; #1 = x"),
          QStringLiteral("  spaced  "), QStringLiteral("C:\\Out"), QString()}) {
        ASSERT_TRUE(saveOutputFolder(folder));
        EXPECT_EQ(loadOutputFolder(), folder) << folder.toStdString();
    }
    // An empty folder is stored as an empty value, not as no value.
    EXPECT_EQ(store()->value(QStringLiteral("out_dir")).typeId(), QMetaType::QString);
}

TEST_F(SettingsStoreTest, TextEndsAtAStoredZeroUnit) {
    storeRaw(QStringLiteral("/srv/out") + QChar(u'\0'));
    EXPECT_EQ(loadOutputFolder(), "/srv/out");
    storeRaw(QStringLiteral("/srv/out") + QChar(u'\0') + QStringLiteral("junk"));
    EXPECT_EQ(loadOutputFolder(), "/srv/out");
}

// Folders are read back at any length: a 296-character one was once stored and then lost.
TEST_F(SettingsStoreTest, FoldersOfAnyLengthReadBackWhole) {
    const QString deep = QStringLiteral("/srv/") + QString(291, u'x');
    ASSERT_TRUE(saveOutputFolder(deep));
    EXPECT_EQ(loadOutputFolder(), deep);
    const QString clapper = QString::fromUtf8("\xF0\x9F\x8E\xAC");
    storeRaw(clapper.repeated(4000));
    EXPECT_EQ(loadOutputFolder(), clapper.repeated(4000));
}

TEST_F(SettingsStoreTest, MissingOrNonStringValuesReadAsEmpty) {
    {
        auto settings = store();
        settings->setValue(QStringLiteral("other"), QStringLiteral("/srv/other"));
        settings->setValue(QStringLiteral("out_dir/inner"), QStringLiteral("/srv/inner"));
    }
    EXPECT_EQ(loadOutputFolder(), "");
    for (const QVariant& value : {QVariant(QStringList({"/srv/a", "/srv/b"})),
                                  QVariant(QByteArray("/srv/bytes")), QVariant(QSize(3, 4))}) {
        storeRaw(value);
        EXPECT_EQ(loadOutputFolder(), "") << value.typeName();
    }
}

TEST_F(SettingsStoreTest, SavingIntoAnUnwritablePlaceFails) {
    const std::string blocker = config.write("not-a-folder", "x");
    ScopedSettingsFolder inside(blocker);
    EXPECT_FALSE(saveOutputFolder(QStringLiteral("/srv/out")));
    EXPECT_EQ(loadOutputFolder(), "");
}

}  // namespace
