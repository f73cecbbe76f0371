#include "UiTestSupport.h"

#include "controls/MyToolBar.h"
#include "controls/QuillmarkButton.h"
#include "controls/QuillmarkHeaderCtrl.h"
#include "controls/ReportCtrl.h"

#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Controls = WidgetTest;

TEST_F(Controls, ButtonFaceFollowsHotAndPressedStates) {
    CQuillmarkButton button("Edit Set");
    button.SetColors(QColor(230, 230, 230), QColor(224, 224, 224), QColor(189, 189, 189),
                     QColor(10, 20, 30));
    button.resize(100, 30);

    EXPECT_EQ(button.FaceColorFor(false, false), QColor(230, 230, 230));
    EXPECT_EQ(button.FaceColorFor(true, false), QColor(224, 224, 224));
    EXPECT_EQ(button.FaceColorFor(true, true), QColor(189, 189, 189));
    // Pressed but with the pointer elsewhere is drawn as not pressed.
    EXPECT_EQ(button.FaceColorFor(false, true), QColor(230, 230, 230));

    QImage plain = button.grab().toImage();
    EXPECT_EQ(QColor(plain.pixel(3, 3)), QColor(230, 230, 230));
    EXPECT_EQ(QColor(plain.pixel(0, 0)), QColor(10, 20, 30)) << "border";

    button.SetHot(true);
    button.setDown(true);
    QImage pressed = button.grab().toImage();
    EXPECT_EQ(QColor(pressed.pixel(3, 3)), QColor(189, 189, 189));
    EXPECT_EQ(QColor(pressed.pixel(0, 0)), QColor(189, 189, 189)) << "no border while pressed";
}

TEST_F(Controls, HeaderDrawsFlatGreyCellsWithSeparators) {
    CReportCtrl list;
    list.resize(400, 200);
    list.SetColumns("First, 120;Second, 80");
    list.show();
    QImage header = list.Header()->grab().toImage();
    ASSERT_FALSE(header.isNull());
    const int middle = header.height() / 2;
    EXPECT_EQ(QColor(header.pixel(2, 2)), QColor(224, 224, 224));
    EXPECT_EQ(QColor(header.pixel(119, middle)), QColor(189, 189, 189)) << "separator";
    EXPECT_EQ(QColor(header.pixel(0, middle)), QColor(189, 189, 189)) << "frame";
    EXPECT_EQ(list.Header()->Titles(), QStringList({"First", "Second"}));
    EXPECT_EQ(CQuillmarkHeaderCtrl::HeaderFont().pointSize(), 8);
}

TEST_F(Controls, ListKeepsColumnsRowStylesAndSelection) {
    CReportCtrl list;
    list.SetColumns("A, 10;B, 20;C");
    EXPECT_EQ(list.columnWidth(2), 100);
    for (int i = 0; i < 4; ++i)
        list.AddRow({"r" + QString::number(i), "x", "y"});
    list.SelectRow(3);
    list.SelectRow(1);
    EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_FALSE(list.IsRowSelected(2));
    EXPECT_FALSE(list.IsRowSelected(9));

    // Styles move with their rows.
    list.SetItemColors(1, -1, Qt::red, Qt::yellow);
    list.InsertRow(0);
    EXPECT_EQ(list.ItemStyle(2, 1).background, QColor(Qt::yellow));
    EXPECT_EQ(list.ItemStyle(0, 0).background, QColor(Qt::white));
    EXPECT_EQ(list.ItemStyle(0, 0).text, QColor(Qt::black));
    EXPECT_EQ(list.ItemStyle(0, 0).image, 0);
    list.DeleteRow(0);
    EXPECT_EQ(list.ItemText(1, 0), "r1");
    EXPECT_EQ(list.ItemStyle(1, 0).text, QColor(Qt::red));

    EXPECT_EQ(list.SetColumns("X, 30, 2"), 1);
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.columnCount(), 1);
    EXPECT_EQ(list.columnWidth(0), 30);
    EXPECT_EQ(list.horizontalHeaderItem(0)->text(), "X");
}

TEST_F(Controls, SelectedRowsAreDrawnFlat) {
    CReportCtrl list;
    list.resize(300, 200);
    list.SetColumns("A, 100;B, 100");
    list.AddRow({"", ""});
    list.AddRow({"", ""});
    list.SetItemColors(0, -1, Qt::black, QColor(1, 2, 3));
    list.SelectRow(1);
    list.show();
    QImage image = list.viewport()->grab().toImage();
    const int unselectedY = list.visualRect(list.model()->index(0, 0)).center().y();
    const int selectedY = list.visualRect(list.model()->index(1, 0)).center().y();
    EXPECT_EQ(QColor(image.pixel(50, unselectedY)), QColor(1, 2, 3));
    EXPECT_EQ(QColor(image.pixel(50, selectedY)), QColor(238, 238, 238));
}

TEST_F(Controls, KeysDoubleClickAndInPlaceEditing) {
    CReportCtrl list;
    list.resize(300, 200);
    list.SetColumns("A, 100");
    list.AddRow({"before"});
    list.show();
    QSignalSpy deletes(&list, &CReportCtrl::DeleteKeyPressed);
    QSignalSpy doubles(&list, &CReportCtrl::RowDoubleClicked);

    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(deletes.count(), 1);

    const QPoint cell = list.visualRect(list.model()->index(0, 0)).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(doubles.count(), 1);

    // The space bar does not toggle the selection.
    list.clearSelection();
    list.setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_FALSE(list.IsRowSelected(0));

    // Ending an edit keeps or drops the typed text.
    list.SetEditable(true);
    for (bool keep : {false, true}) {
        list.setCurrentCell(0, 0);
        list.editItem(list.item(0, 0));
        QLineEdit* editor = nullptr;
        for (QLineEdit* candidate : list.viewport()->findChildren<QLineEdit*>())
            if (candidate->isVisible())
                editor = candidate;
        ASSERT_NE(editor, nullptr);
        editor->setText("after");
        list.EndEdit(keep);
        EXPECT_FALSE(list.IsEditing());
        EXPECT_EQ(list.ItemText(0, 0), keep ? "after" : "before");
    }
}

TEST_F(Controls, ToolBarButtonsTakeTheirThreePictures) {
    CMyToolBar bar("Main");
    QPixmap normal(83, 32), hot(83, 32), disabled(83, 32);
    normal.fill(Qt::red);
    hot.fill(Qt::green);
    disabled.fill(Qt::gray);
    bar.SetImageLists({normal}, {hot}, {disabled});
    QAction action("Open");
    bar.AddButton(&action, 0);
    const QIcon icon = action.icon();
    EXPECT_EQ(icon.pixmap(QSize(83, 32), QIcon::Disabled).toImage().pixel(5, 5),
              QColor(Qt::gray).rgb());
    EXPECT_EQ(icon.pixmap(QSize(83, 32), QIcon::Active).toImage().pixel(5, 5),
              QColor(Qt::green).rgb());
    EXPECT_EQ(bar.widgetForAction(&action)->size(), CMyToolBar::kButtonSize);
}

} // namespace
