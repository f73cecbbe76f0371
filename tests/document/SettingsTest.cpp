#include "document/Settings.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Each test gets its own settings file and home folder.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        setenv("KELVASTRA_HOME", (m_dir.path() + "/home").toUtf8().constData(), 1);
    }
    void TearDown() override { unsetenv("KELVASTRA_HOME"); }
    QTemporaryDir m_dir;
};

TEST_F(SettingsTest, TemplateFolderFallsBackToTheDefaultAndKeepsWhatIsStored)
{
    const std::string home = (m_dir.path() + "/home").toStdString();
    EXPECT_EQ(Settings::TemplateDirValue(), "");
    EXPECT_EQ(Settings::TemplateDir(), home + "/Templates");
    EXPECT_EQ(Settings::DataDir(), home + "/Data");

    Settings::SetTemplateDir(Folders::FolderOf("/srv/protocols/x.tmt"));
    EXPECT_EQ(Settings::TemplateDir(), "/srv/protocols/");
}

TEST(Folders, FolderOfKeepsTheSeparator)
{
    EXPECT_EQ(Folders::FolderOf("/p/x.tmt"), "/p/");
    EXPECT_EQ(Folders::FolderOf("D:\\P\\x.tmt"), "D:\\P\\");
    EXPECT_EQ(Folders::FolderOf("x.tmt"), "");
}

}  // namespace
