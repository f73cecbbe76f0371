// The File menu's recent protocol files: kept in the settings, newest first, opened again from
// the menu, and dropped when the file has gone.
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/DocumentBridge.h"
#include "app/MainFrame.h"
#include "common/MessageLog.h"
#include "document/DeviceAction.h"
#include "document/HeadlessView.h"
#include "document/KelvastraDoc.h"
#include "document/Settings.h"

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>

namespace {

TEST(RecentFiles, KeptNewestFirstAndOpenedFromTheMenu) {
    TestApp();
    MessageLog::Instance().SetEchoToStdout(false);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const std::string folder = dir.path().toStdString();
    for (const char* name : {"a.tmt", "b.tmt", "c.tmt", "d.tmt", "e.tmt", "c.tmt"})
        Settings::AddRecentFile(folder + "/" + name);
    EXPECT_EQ(Settings::RecentFiles(),
              (std::vector<std::string>{folder + "/c.tmt", folder + "/e.tmt", folder + "/d.tmt",
                                        folder + "/b.tmt"}));
    EXPECT_EQ(QSettings("Fenwarde", "Kelvastra").value("Recent File List/File4").toString(),
              dir.path() + "/b.tmt");

    CMainFrame frame;
    frame.UpdateRecentFiles();
    EXPECT_EQ(frame.Action(ID_FILE_MRU_FILE1 + 1)->text(), "&2 e.tmt");

    // An entry opens and heads the list; one whose file is not there leaves it.
    WriteFile(folder + "/e.tmt", ReadFile(KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt"));
    CKelvastraDoc doc;
    HeadlessStageView view(doc);
    doc.SetView(&view);
    CDocumentBridge bridge(doc, nullptr);
    bridge.OnCommand(ID_FILE_MRU_FILE1 + 1);
    EXPECT_EQ(doc.m_sequence.sets.size(), 3u);
    EXPECT_EQ(Settings::RecentFiles().front(), folder + "/e.tmt");
    bridge.OnCommand(ID_FILE_MRU_FILE1 + 1);
    EXPECT_EQ(Settings::RecentFiles().size(), 3u);
    doc.m_nPendingAction = DeviceAction::ReadDevice;
    EXPECT_FALSE(bridge.IsCommandEnabled(ID_FILE_MRU_FILE1));
    doc.m_nPendingAction = DeviceAction::None;
    doc.SetView(nullptr);
}

} // namespace
