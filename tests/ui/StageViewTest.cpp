#include "UiTestSupport.h"

#include "controls/QuillmarkButton.h"
#include "controls/ReportCtrl.h"
#include "protocol/ui/StageView.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(SequenceColumns, WidthsScaleWithTheScreen) {
    EXPECT_EQ(SequenceColumnWidths(96),
              (std::array<int, 10>{120, 120, 80, 60, 80, 80, 80, 80, 70, 80}));
    EXPECT_EQ(SequenceColumnWidths(144),
              (std::array<int, 10>{180, 180, 120, 90, 120, 120, 120, 120, 105, 120}));
    // Truncated, not rounded: 70 x 120 / 96 = 87.5.
    EXPECT_EQ(SequenceColumnWidths(120)[8], 87);
    EXPECT_EQ(SequenceColumnSpec(96),
              "Name, 120;Magnitude, 120;Preload, 80;AutoAdjust, 60;Stretch Dur, 80;"
              "Hold Dur, 80;Recover Dur, 80;Rest Dur, 80;Repetitions, 70;Data, 80");
}

class StageView : public testing::Test {
protected:
    void SetUp() override {
        TestApp();
        view = std::make_unique<CStageView>(document, prompt);
        view->resize(900, 500);
    }

    // Four distinguishable sets in the list.
    void FillFour() {
        document.sequence.sets.clear();
        for (int i = 0; i < 4; ++i) {
            SetRecord set;
            set.Name = "S" + std::to_string(i);
            set.NumReps = i + 1;
            document.sequence.sets.push_back(set);
        }
        view->RefreshFromDocument();
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const SetRecord& set : view->WorkingSequence().sets)
            names.push_back(set.Name);
        return names;
    }

    std::vector<std::string> ListNames() const {
        std::vector<std::string> names;
        for (int row = 0; row < view->List()->rowCount(); ++row)
            names.push_back(view->List()->ItemText(row, 0).toStdString());
        return names;
    }

    FakeStageDocument document;
    RecordingPrompt prompt;
    std::unique_ptr<CStageView> view;
};

TEST_F(StageView, InitialUpdateFillsColumnsAndStartsTheWorkerOnce) {
    document.sequence.sets.resize(2);
    view->InitialUpdate();
    view->InitialUpdate();
    EXPECT_EQ(document.workerStarts, 1);
    EXPECT_EQ(view->List()->columnCount(), 10);
    EXPECT_EQ(view->List()->horizontalHeaderItem(9)->text(), "Data");
    EXPECT_EQ(view->List()->rowCount(), 2);
    EXPECT_EQ(view->TestNameEdit()->text(), "Test");
    EXPECT_EQ(view->TestNumberEdit()->text(), "0001");
    EXPECT_TRUE(view->TestNumberEdit()->isReadOnly());
}

TEST_F(StageView, RefreshShowsRowsAndFigures) {
    document.sequence.sets.resize(1);
    view->RefreshFromDocument();
    ASSERT_EQ(view->List()->rowCount(), 1);
    const QStringList expected{"Data1",   "Ramp 10.0 (%)", "0.0 (%)", "false", "10.0 (S)",
                               "0.0 (S)", "10.0 (S)",      "0.0 (S)", "1",     "All(64) "};
    for (int column = 0; column < 10; ++column)
        EXPECT_EQ(view->List()->ItemText(0, column), expected[column]) << column;
    EXPECT_EQ(view->TotalTimeEdit()->text(), "00:00:20");
    EXPECT_EQ(view->TotalTimeSeconds(), 20);
    EXPECT_EQ(view->UsedMemoryEdit()->text(), "10.0");
    EXPECT_EQ(view->WorkingSequence(), document.sequence);

    view->ClearSequence();
    EXPECT_EQ(view->List()->rowCount(), 0);
    EXPECT_TRUE(view->WorkingSequence().sets.empty());
    EXPECT_EQ(view->TotalTimeEdit()->text(), "00:00:00");
    EXPECT_EQ(view->UsedMemoryEdit()->text(), "0.0");
    EXPECT_EQ(document.sequence.sets.size(), 1u) << "the document's sequence is not touched";
}

TEST_F(StageView, InsertBelowOnEmptyListAddsADefaultSetInNewtons) {
    view->OnInsertBelow();
    ASSERT_EQ(view->WorkingSequence().sets.size(), 1u);
    EXPECT_EQ(view->WorkingSequence().sets[0].XUnits, MagnitudeUnits::N);
    EXPECT_EQ(view->List()->ItemText(0, 1), "Ramp 10.0 (N)");
    EXPECT_EQ(view->List()->ItemText(0, 2), "0.0 (N)");
    EXPECT_EQ(view->UsedMemoryEdit()->text(), "10.0");

    view->OnInsertAbove();
    EXPECT_EQ(view->WorkingSequence().sets.size(), 2u);
    EXPECT_EQ(view->TotalTimeEdit()->text(), "00:00:40");
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(StageView, InsertOnHydrostaticMembraneUsesPressure) {
    document.hardware.MembraneStyle = Membrane::Hydrostatic;
    view->OnInsertAbove();
    ASSERT_EQ(view->WorkingSequence().sets.size(), 1u);
    EXPECT_EQ(view->WorkingSequence().sets[0].XMagnitude, 0.1);
    EXPECT_EQ(view->List()->ItemText(0, 1), "Ramp 0.100");
    EXPECT_EQ(view->List()->ItemText(0, 2), "0.000");
}

TEST_F(StageView, InsertDoesNothingBeforeTheDeviceIsKnown) {
    document.infoLoaded = false;
    view->OnInsertAbove();
    view->OnInsertBelow();
    EXPECT_EQ(view->List()->rowCount(), 0);
    EXPECT_TRUE(prompt.shown.empty());

    // Delete still works on the rows present.
    document.sequence.sets.resize(2);
    view->RefreshFromDocument();
    view->List()->SelectRow(0);
    view->OnDelete();
    EXPECT_EQ(view->List()->rowCount(), 1);
}

TEST_F(StageView, InsertAboveAndBelowCopyTheSelectedEnds) {
    FillFour();
    view->List()->SelectRow(1);
    view->List()->SelectRow(3);
    view->OnInsertAbove();
    EXPECT_EQ(Names(), (std::vector<std::string>{"S0", "S1", "S1", "S2", "S3"}));
    EXPECT_EQ(ListNames(), Names());
    EXPECT_EQ(view->WorkingSequence().sets[1].XUnits, MagnitudeUnits::N);
    EXPECT_EQ(view->WorkingSequence().sets[2].XUnits, MagnitudeUnits::Percent);

    FillFour();
    view->List()->SelectRow(1);
    view->List()->SelectRow(3);
    view->OnInsertBelow();
    EXPECT_EQ(Names(), (std::vector<std::string>{"S0", "S1", "S2", "S3", "S3"}));
    EXPECT_EQ(view->WorkingSequence().sets[4].NumReps, 4);

    FillFour();
    view->OnInsertBelow(); // nothing selected: below the last row
    EXPECT_EQ(Names(), (std::vector<std::string>{"S0", "S1", "S2", "S3", "S3"}));
    FillFour();
    view->OnInsertAbove(); // nothing selected: above the first row
    EXPECT_EQ(Names(), (std::vector<std::string>{"S0", "S0", "S1", "S2", "S3"}));
}

TEST_F(StageView, DeleteRemovesEverySelectedRow) {
    FillFour();
    view->List()->SelectRow(1);
    view->List()->SelectRow(3);
    view->OnDelete();
    EXPECT_EQ(Names(), (std::vector<std::string>{"S0", "S2"}));
    EXPECT_EQ(ListNames(), Names());
    EXPECT_EQ(view->UsedMemoryEdit()->text(), "20.0");
    // 1 + 3 repetitions of 20 s.
    EXPECT_EQ(view->TotalTimeEdit()->text(), "00:01:20");

    view->OnDelete(); // nothing selected
    EXPECT_EQ(Names().size(), 2u);

    view->List()->SelectRow(0);
    view->show();
    view->List()->setFocus();
    QTest::keyClick(view->List(), Qt::Key_Delete);
    EXPECT_EQ(Names(), (std::vector<std::string>{"S2"}));
}

TEST_F(StageView, TenRowsRefuseAnEleventh) {
    document.sequence.sets.resize(10);
    view->RefreshFromDocument();
    view->List()->SelectRow(2);
    view->OnInsertAbove();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.Last(), "Maximum Sets Limit Reached");
    view->OnInsertBelow();
    EXPECT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.Last(), "Maximum Sets Limit Reached");
    EXPECT_EQ(view->List()->rowCount(), 10);
    EXPECT_EQ(view->WorkingSequence().sets.size(), 10u);
    EXPECT_EQ(view->UsedMemoryEdit()->text(), "100.0");
}

TEST_F(StageView, EditSetStoresTheAcceptedCopyOnly) {
    FillFour();
    int opened = 0;
    bool accept = false;
    std::vector<std::string> editedNames;
    view->SetEditorRunner([&](SetRecord& set, const HardwareDescription&, IUserPrompt&, QWidget*) {
        ++opened;
        editedNames.push_back(set.Name);
        set.Name = "Edited";
        set.NumReps = 10;
        return accept;
    });
    view->OnEditSet(); // no selection
    EXPECT_EQ(opened, 0);

    view->List()->SelectRow(3);
    view->List()->SelectRow(2);
    view->OnEditSet();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(Names()[2], "S2") << "cancelled";

    accept = true;
    view->OnEditSet();
    EXPECT_EQ(Names()[2], "Edited");
    EXPECT_EQ(view->List()->ItemText(2, 0), "Edited");
    EXPECT_EQ(view->List()->ItemText(2, 8), "10");
    // 1 + 2 + 10 + 4 repetitions of 20 s.
    EXPECT_EQ(view->TotalTimeSeconds(), 340);

    // A double click opens the editor too.
    view->show();
    const QPoint cell = view->List()->visualRect(view->List()->model()->index(0, 0)).center();
    view->List()->clearSelection();
    QTest::mouseDClick(view->List()->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(opened, 3);
    EXPECT_EQ(editedNames, (std::vector<std::string>{"S2", "S2", "S0"}));
}

TEST_F(StageView, MessageAreaCountsAndScrollsToTheNewestLine) {
    view->show();
    for (int i = 0; i < 30; ++i)
        view->AppendMessage("line " + std::to_string(i) + "\n");
    EXPECT_EQ(view->MessageLineCount(), 30);
    view->AppendMessage("\nProgramming Device... Success\n");
    EXPECT_EQ(view->MessageLineCount(), 32);
    EXPECT_TRUE(view->MessageText().endsWith("line 29\n\nProgramming Device... Success\n"));
    QScrollBar* bar = view->MessageArea()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    view->ClearMessageArea();
    EXPECT_EQ(view->MessageLineCount(), 0);
    EXPECT_TRUE(view->MessageText().isEmpty());
    view->AppendMessage("one\ntwo\n");
    EXPECT_EQ(view->MessageLineCount(), 2);
}

TEST_F(StageView, TestNameIsTakenWhenTheBoxLosesFocus) {
    view->show();
    view->TestNameEdit()->setFocus();
    view->TestNameEdit()->setText("Run 7");
    EXPECT_EQ(view->TestName(), "Test");
    emit view->TestNameEdit()->editingFinished();
    EXPECT_EQ(view->TestName(), "Run 7");

    view->SetTestName("From device");
    view->SetTestNumber("0042");
    EXPECT_EQ(view->TestNameEdit()->text(), "From device");
    EXPECT_EQ(view->TestName(), "From device");
    EXPECT_EQ(view->TestNumberEdit()->text(), "0042");
}

TEST_F(StageView, CheckCommitsTheWorkingCopyAndCleansTheName) {
    EXPECT_FALSE(view->CheckSequence());
    EXPECT_EQ(prompt.Last(), "Please Specify a Test Sequence Before Executing");

    view->OnInsertBelow();
    view->OnInsertBelow();
    view->TestNameEdit()->setText("a/b:c");
    prompt.shown.clear();
    EXPECT_TRUE(view->CheckSequence());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.Last(), "Warning:  Invalid Characters will be removed\nfrom Test Name / : * "
                             "? \" < > | \\\n");
    EXPECT_EQ(view->TestNameEdit()->text(), "a b c");
    EXPECT_EQ(view->TestName(), "a b c") << "the device receives the cleaned name";
    EXPECT_EQ(document.sequence.sets, view->WorkingSequence().sets);
    EXPECT_EQ(document.sequence.sets.size(), 2u);
}

TEST_F(StageView, CheckRefusalLeavesTheDocumentAlone) {
    view->OnInsertBelow();
    SetSequence before = document.sequence;
    SetRecord& set = const_cast<SetSequence&>(view->WorkingSequence()).sets[0];
    set.NumReps = 0;
    EXPECT_FALSE(view->CheckSequence());
    EXPECT_EQ(prompt.Last(), "Error:  Test Sequence Must Be Greater Than 0 Seconds in Length");
    EXPECT_EQ(document.sequence, before);
}

TEST_F(StageView, WorkerThreadCallsReachTheWidgetsOnTheGuiThread) {
    document.sequence.sets.resize(3);
    std::atomic<bool> done{false};
    std::string nameSeen;
    bool checked = false;
    std::thread worker([&] {
        view->SetTestName("Remote");
        view->SetTestNumber("0007");
        view->AppendMessage("first\n");
        view->AppendMessage("second\n");
        view->RefreshFromDocument();
        nameSeen = view->TestName();
        checked = view->CheckSequence();
        view->ClearMessageArea();
        view->AppendMessage("after clear\n");
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(nameSeen, "Remote");
    EXPECT_TRUE(checked);
    EXPECT_EQ(view->TestNumberEdit()->text(), "0007");
    EXPECT_EQ(view->List()->rowCount(), 3);
    EXPECT_EQ(view->MessageText(), "after clear\n");
    EXPECT_EQ(view->MessageLineCount(), 1);
}

TEST_F(StageView, ButtonsAndBoxesCarryTheFormColours) {
    EXPECT_EQ(view->EditButton()->text(), "Edit Set");
    EXPECT_EQ(view->DeleteButton()->text(), "Delete ");
    EXPECT_EQ(view->InsertAboveButton()->FaceColor(), QColor(230, 230, 230));
    EXPECT_EQ(view->InsertBelowButton()->HotColor(), QColor(224, 224, 224));
    EXPECT_EQ(view->EditButton()->PressedColor(), QColor(189, 189, 189));
    EXPECT_EQ(view->EditButton()->BorderColor(), QColor(189, 189, 189));
    view->show();
    const QImage form = view->grab().toImage();
    EXPECT_EQ(QColor(form.pixel(1, 1)), QColor(250, 250, 250));
    const QImage readOnly = view->TotalTimeEdit()->grab().toImage();
    EXPECT_EQ(QColor(readOnly.pixel(readOnly.width() - 4, readOnly.height() / 2)),
              QColor(238, 238, 238));
    const QImage editable = view->TestNameEdit()->grab().toImage();
    EXPECT_EQ(QColor(editable.pixel(editable.width() - 4, editable.height() / 2)),
              QColor(Qt::white));
}

TEST_F(StageView, EditIsDroppedWhenTheSequenceWasReplacedMeanwhile) {
    FillFour();
    view->List()->SelectRow(3);
    view->SetEditorRunner([&](SetRecord& set, const HardwareDescription&, IUserPrompt&, QWidget*) {
        // Read Device finishes while the editor is open: the device's own four sets now.
        for (size_t i = 0; i < document.sequence.sets.size(); ++i)
            document.sequence.sets[i].Name = "D" + std::to_string(i);
        view->RefreshFromDocument();
        set.Name = "Edited";
        return true;
    });
    view->OnEditSet();
    EXPECT_EQ(Names(), (std::vector<std::string>{"D0", "D1", "D2", "D3"}));

    view->List()->SelectRow(0);
    view->SetEditorRunner([&](SetRecord& set, const HardwareDescription&, IUserPrompt&, QWidget*) {
        view->ClearSequence();
        set.Name = "Edited";
        return true;
    });
    view->OnEditSet();
    EXPECT_TRUE(Names().empty());
    EXPECT_EQ(view->List()->rowCount(), 0);
}

} // namespace
