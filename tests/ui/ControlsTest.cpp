// The report list on its own: what the sequence view does not reach through its commands. Rows,
// selection, the Delete key and double clicks are driven through the view in StageViewTest.
#include "UiTestSupport.h"

#include "controls/ReportCtrl.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

using Controls = WidgetTest;

TEST_F(Controls, TheSpaceBarSelectsNothing) {
    CReportCtrl list;
    list.resize(300, 200);
    list.SetColumns("A, 10;B, 20");
    list.AddRow({"r0", "x"});
    list.show();
    list.setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_FALSE(list.IsRowSelected(0));
}

} // namespace
