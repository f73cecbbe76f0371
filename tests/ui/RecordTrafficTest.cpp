// Hardware > Record Serial Traffic records into the root folder (made when missing), and the
// choice is kept for the next start.
#include "UiTestSupport.h"

#include "TestSupport.h"
#include "app/MainFrame.h"
#include "common/TrafficRecord.h"
#include "devicelink/TrafficRecorder.h"

#include <QAction>
#include <QSettings>
#include <QStandardPaths>

TEST_F(WidgetTest, RecordSerialTrafficRecordsIntoTheRootFolderAndIsKept) {
    TempFolder dir("record");
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.Path().c_str());
    setenv("KELVASTRA_HOME", (dir.Path() / "root").c_str(), 1);
    CMainFrame(nullptr).RecordTrafficAction()->trigger();
    EXPECT_TRUE(TrafficRecorder::Shared().IsRecording());
    CMainFrame next; // starts a second session
    ASSERT_TRUE(next.RecordTrafficAction()->isChecked());
    next.RecordTrafficAction()->trigger();
    EXPECT_FALSE(TrafficRecorder::Shared().IsRecording());
    EXPECT_FALSE(CMainFrame().RecordTrafficAction()->isChecked());
    EXPECT_EQ(ReadFile(dir.Path() / "root" / "SerialTraffic.txt"),
              TrafficSessionHeader() + TrafficSessionHeader());
    unsetenv("KELVASTRA_HOME");
}
