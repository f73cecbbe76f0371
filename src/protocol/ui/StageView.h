// The main window's content: the test sequence as a list with its total time and used memory,
// the commands that edit it, the current test name and number, and the message area in which
// the document reports what it did. It owns the working copy of the sequence; the document's
// sequence receives it only through the sequence check.
#pragma once

#include "document/ThreadMailbox.h"
#include "document/ViewInterfaces.h"
#include "protocol/SequenceRules.h"
#include "protocol/ui/StageDocument.h"

#include <QThread>
#include <QWidget>

#include <array>
#include <type_traits>

class CQuillmarkButton;
class CReportCtrl;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// List column widths at `dpi` dots per inch: the widths at 96 dpi scaled and truncated.
std::array<int, 10> SequenceColumnWidths(int dpi);
// The list's column specification with those widths.
std::string SequenceColumnSpec(int dpi);

class CStageView : public QWidget, public IStageView {
    Q_OBJECT
public:
    static constexpr QRgb kLightGrey = 0xFFFAFAFA; // 250, 250, 250
    static constexpr QRgb kWhite = 0xFFFFFFFF;
    static constexpr QRgb kGrey = 0xFFEEEEEE; // 238, 238, 238

    CStageView(IStageDocument& document, IUserPrompt& prompt, QWidget* parent = nullptr);

    // Once, after the window exists: columns for the screen, contents from the document, then
    // the device worker is started.
    void InitialUpdate();

    // IStageView: callable from any thread; the work is done on the GUI thread.
    void SetTestName(const std::string& name) override;
    void SetTestNumber(const std::string& number) override;
    std::string TestName() override;
    void ClearMessageArea() override;
    void AppendMessage(const std::string& text) override;
    void RefreshFromDocument() override;
    void ClearSequence() override;
    bool CheckSequence() override;
    SetSequence ShownSequence() override;

    // The view's commands.
    void OnEditSet();
    void OnDelete();
    void OnInsertAbove();
    void OnInsertBelow();

    const SetSequence& WorkingSequence() const { return m_sequence; }
    int TotalTimeSeconds() const { return m_nTotalTime; }
    double UsedMemoryPercent() const { return m_fUsedMemory; }
    int MessageLineCount() const { return m_nMessageLines; }
    QString MessageText() const;
    std::string TestNumber() const { return m_testNumber; }

    CReportCtrl* List() const { return m_list; }
    QLineEdit* TestNameEdit() const { return m_testNameEdit; }
    QLineEdit* TestNumberEdit() const { return m_testNumberEdit; }
    QLineEdit* TotalTimeEdit() const { return m_totalTimeEdit; }
    QLineEdit* UsedMemoryEdit() const { return m_usedMemoryEdit; }
    QPlainTextEdit* MessageArea() const { return m_messageArea; }
    CQuillmarkButton* EditButton() const { return m_editButton; }
    CQuillmarkButton* DeleteButton() const { return m_deleteButton; }
    CQuillmarkButton* InsertAboveButton() const { return m_insertAboveButton; }
    CQuillmarkButton* InsertBelowButton() const { return m_insertBelowButton; }

    // Opens the set editor on `set`; true when the user accepted. Tests replace the dialog.
    using EditorRunner = std::function<bool(SetRecord& set, const HardwareDescription& hardware,
                                            IUserPrompt& prompt, QWidget* parent)>;
    void SetEditorRunner(EditorRunner runner) { m_runEditor = std::move(runner); }

private:
    void ShowCheckMessage(const std::string& text);
    void SetTestNameBox(const std::string& name);

    // Runs `work` on the GUI thread: directly when already there, otherwise queued, or blocking
    // when a result is needed (never wait on the GUI thread itself).
    template <class Work> auto OnGuiThread(Work work, bool wait) -> std::invoke_result_t<Work>;

    bool Hydrostatic() const;
    void FillRow(int row);
    bool MayInsert();
    void InsertSet(int index, SetRecord set);
    void UpdateFigures();
    void TakeTestName();

    IStageDocument& m_document;
    IUserPrompt& m_prompt;
    EditorRunner m_runEditor;

    SetSequence m_sequence;
    std::string m_testName = "Test";
    std::string m_testNumber = "0001";
    double m_fOffset = 0.0;
    double m_fUsedMemory = 0.0;
    int m_nTotalTime = 0;
    int m_nMessageLines = 0;
    bool m_initialised = false;
    unsigned m_rebuilds = 0; // refreshes and clears, so an open editor can tell

    QLineEdit* m_testNameEdit = nullptr;
    QLineEdit* m_testNumberEdit = nullptr;
    CQuillmarkButton* m_editButton = nullptr;
    CQuillmarkButton* m_deleteButton = nullptr;
    CQuillmarkButton* m_insertAboveButton = nullptr;
    CQuillmarkButton* m_insertBelowButton = nullptr;
    QLabel* m_offsetLabel = nullptr;
    QLineEdit* m_offsetEdit = nullptr;
    CQuillmarkButton* m_helpButton = nullptr;
    QLineEdit* m_usedMemoryEdit = nullptr;
    QLabel* m_totalTimeLabel = nullptr;
    QLineEdit* m_totalTimeEdit = nullptr;
    CReportCtrl* m_list = nullptr;
    QPlainTextEdit* m_messageArea = nullptr;
};

template <class Work>
auto CStageView::OnGuiThread(Work work, bool wait) -> std::invoke_result_t<Work> {
    using Result = std::invoke_result_t<Work>;
    if (QThread::currentThread() == thread())
        return work();
    if constexpr (std::is_void_v<Result>) {
        if (wait)
            ThreadMailbox::Main().Call(std::move(work));
        else
            ThreadMailbox::Main().Post(std::move(work));
    } else {
        return ThreadMailbox::Main().Call(std::move(work));
    }
}
