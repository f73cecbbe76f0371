// The sequence view with a stand-in document: the list, its editing commands, the figures, the
// message area and the calls that arrive from the device worker.
#include "UiTestSupport.h"

#include "controls/ReportCtrl.h"
#include "protocol/ui/StageView.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;

class StageView : public WidgetTest {
protected:
    void SetUp() override { view.resize(900, 500); }

    // Four distinguishable sets, S0..S3 with 1..4 repetitions, then `rows` selected.
    void FillFour(const std::vector<int>& rows = {}) {
        document.sequence.sets.clear();
        for (int i = 0; i < 4; ++i) {
            SetRecord set;
            set.Name = "S" + std::to_string(i);
            set.NumReps = i + 1;
            document.sequence.sets.push_back(set);
        }
        view.RefreshFromDocument();
        for (int row : rows)
            view.List()->SelectRow(row);
    }

    // The working copy's names, checked against the list's first column.
    Names SetNames() const {
        Names names, shown;
        for (const SetRecord& set : view.WorkingSequence().sets)
            names.push_back(set.Name);
        for (int row = 0; row < view.List()->rowCount(); ++row)
            shown.push_back(view.List()->ItemText(row, 0).toStdString());
        EXPECT_EQ(shown, names);
        return names;
    }

    void UseEditor(std::function<bool(SetRecord&)> edit) {
        view.SetEditorRunner([edit](SetRecord& set, const HardwareDescription&, IUserPrompt&,
                                    QWidget*) { return edit(set); });
    }

    FakeStageDocument document;
    CStageView view{document, prompt};
};

TEST_F(StageView, InitialUpdateFillsTheListAndFiguresAndStartsTheWorkerOnce) {
    document.sequence.sets.resize(1);
    view.InitialUpdate();
    view.InitialUpdate();
    EXPECT_EQ(document.workerStarts, 1);
    ASSERT_EQ(SetNames().size(), 1u);
    EXPECT_EQ(view.TotalTimeEdit()->text(), "00:00:20");
    EXPECT_EQ(view.UsedMemoryEdit()->text(), "10.0");
    EXPECT_EQ(view.WorkingSequence(), document.sequence);

    view.ClearSequence();
    EXPECT_TRUE(SetNames().empty());
    EXPECT_EQ(view.TotalTimeEdit()->text(), "00:00:00");
    EXPECT_EQ(view.UsedMemoryEdit()->text(), "0.0");
    EXPECT_EQ(document.sequence.sets.size(), 1u) << "the document's sequence is not touched";
}

TEST_F(StageView, InsertIntoAnEmptyListAddsADefaultSetInTheMembranesUnit) {
    view.OnInsertBelow();
    ASSERT_EQ(view.WorkingSequence().sets.size(), 1u);
    EXPECT_EQ(view.WorkingSequence().sets[0].XUnits, MagnitudeUnits::N);
    view.OnInsertAbove();
    EXPECT_EQ(view.WorkingSequence().sets.size(), 2u);
    EXPECT_EQ(view.TotalTimeEdit()->text(), "00:00:40");
    EXPECT_TRUE(prompt.shown.empty());

    view.ClearSequence();
    document.hardware.MembraneStyle = Membrane::Hydrostatic;
    view.OnInsertAbove();
    ASSERT_EQ(view.WorkingSequence().sets.size(), 1u);
    EXPECT_EQ(view.WorkingSequence().sets[0].XMagnitude, 0.1);
    EXPECT_EQ(view.List()->ItemText(0, 1), "Ramp 0.100");
}

TEST_F(StageView, InsertAboveAndBelowCopyTheSelectedEnds) {
    const struct {
        std::vector<int> selected;
        bool above;
        Names expected;
        size_t copy; // the new row
    } cases[] = {
        {{1, 3}, true, {"S0", "S1", "S1", "S2", "S3"}, 1},
        {{1, 3}, false, {"S0", "S1", "S2", "S3", "S3"}, 4},
        {{}, true, {"S0", "S0", "S1", "S2", "S3"}, 0},  // nothing selected: above the first row
        {{}, false, {"S0", "S1", "S2", "S3", "S3"}, 4}, // and below the last
    };
    for (const auto& c : cases) {
        FillFour(c.selected);
        c.above ? view.OnInsertAbove() : view.OnInsertBelow();
        EXPECT_EQ(SetNames(), c.expected) << c.above;
        // A copy of the set at that end, in the device's unit; the original keeps its own.
        const auto& sets = view.WorkingSequence().sets;
        const size_t original = c.above ? c.copy + 1 : c.copy - 1;
        EXPECT_EQ(sets[c.copy].NumReps, sets[original].NumReps);
        EXPECT_EQ(sets[c.copy].XUnits, MagnitudeUnits::N);
        EXPECT_EQ(sets[original].XUnits, MagnitudeUnits::Percent);
    }
}

// The Delete key deletes the selection; the space bar selects nothing.
TEST_F(StageView, DeleteRemovesEverySelectedRow) {
    FillFour({1, 3});
    view.OnDelete();
    EXPECT_EQ(SetNames(), (Names{"S0", "S2"}));
    EXPECT_EQ(view.UsedMemoryEdit()->text(), "20.0");

    view.OnDelete(); // nothing selected
    EXPECT_EQ(SetNames().size(), 2u);

    view.show();
    view.List()->setFocus();
    view.List()->setCurrentCell(1, 0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(view.List(), Qt::Key_Space);
    view.List()->SelectRow(0);
    QTest::keyClick(view.List(), Qt::Key_Delete);
    EXPECT_EQ(SetNames(), (Names{"S2"}));
}

TEST_F(StageView, TenRowsRefuseAnEleventh) {
    document.sequence.sets.resize(10);
    view.RefreshFromDocument();
    view.List()->SelectRow(2);
    view.OnInsertAbove();
    view.OnInsertBelow();
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].text, "Maximum Sets Limit Reached");
    EXPECT_EQ(SetNames().size(), 10u);
}

TEST_F(StageView, EditSetStoresTheAcceptedCopyOnly) {
    FillFour();
    bool accept = false;
    Names edited;
    UseEditor([&](SetRecord& set) {
        edited.push_back(set.Name);
        set.Name = "Edited";
        set.NumReps = 10;
        return accept;
    });
    view.OnEditSet(); // no selection
    EXPECT_TRUE(edited.empty());

    view.List()->SelectRow(3);
    view.List()->SelectRow(2);
    view.OnEditSet();
    EXPECT_EQ(SetNames()[2], "S2") << "cancelled";

    accept = true;
    view.OnEditSet();
    EXPECT_EQ(SetNames()[2], "Edited");
    EXPECT_EQ(view.List()->ItemText(2, 8), "10");

    // A double click opens the editor too.
    view.show();
    const QPoint cell = view.List()->visualRect(view.List()->model()->index(0, 0)).center();
    view.List()->clearSelection();
    QTest::mouseDClick(view.List()->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(edited, (Names{"S2", "S2", "S0"}));
}

TEST_F(StageView, EditIsDroppedWhenTheSequenceWasReplacedMeanwhile) {
    FillFour({3});
    UseEditor([&](SetRecord& set) {
        // Read Device finishes while the editor is open: the device's own four sets now.
        for (size_t i = 0; i < document.sequence.sets.size(); ++i)
            document.sequence.sets[i].Name = "D" + std::to_string(i);
        view.RefreshFromDocument();
        set.Name = "Edited";
        return true;
    });
    view.OnEditSet();
    EXPECT_EQ(SetNames(), (Names{"D0", "D1", "D2", "D3"}));

    view.List()->SelectRow(0);
    UseEditor([&](SetRecord& set) {
        view.ClearSequence();
        set.Name = "Edited";
        return true;
    });
    view.OnEditSet();
    EXPECT_TRUE(SetNames().empty());
}

TEST_F(StageView, MessageAreaScrollsToTheNewestLine) {
    view.show();
    for (int i = 0; i < 30; ++i)
        view.AppendMessage("line " + std::to_string(i) + "\n");
    view.AppendMessage("\nProgramming Device... Success\n");
    EXPECT_TRUE(view.MessageText().endsWith("line 29\n\nProgramming Device... Success\n"));
    QScrollBar* bar = view.MessageArea()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// The rules themselves are the sequence check's; the view shows its messages and commits.
TEST_F(StageView, CheckCommitsTheWorkingCopyAndCleansTheName) {
    EXPECT_FALSE(view.CheckSequence());
    EXPECT_EQ(prompt.Last(), "Please Specify a Test Sequence Before Executing");
    EXPECT_TRUE(document.sequence.sets.empty());

    view.OnInsertBelow();
    view.OnInsertBelow();
    view.TestNameEdit()->setText("a/b:c");
    prompt.shown.clear();
    EXPECT_TRUE(view.CheckSequence());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(view.TestNameEdit()->text(), "a b c");
    EXPECT_EQ(view.TestName(), "a b c") << "the device receives the cleaned name";
    EXPECT_EQ(document.sequence.sets, view.WorkingSequence().sets);
}

} // namespace
