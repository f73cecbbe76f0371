#include "protocol/ui/StageView.h"

#include "controls/QuillmarkButton.h"
#include "controls/ReportCtrl.h"
#include "protocol/SequenceDisplay.h"
#include "protocol/ui/SetParamEditor.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr std::array<int, 10> kColumnWidthsAt96{120, 120, 80, 60, 80, 80, 80, 80, 70, 80};

void StyleButton(CQuillmarkButton* button) {
    button->SetColors(QColor(230, 230, 230), QColor(224, 224, 224), QColor(189, 189, 189),
                      QColor(189, 189, 189));
    button->setMinimumSize(96, 26);
}

QLineEdit* ReadOnlyBox(const QString& text) {
    auto* box = new QLineEdit(text);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

bool DefaultEditorRunner(SetRecord& set, const HardwareDescription& hardware, IUserPrompt& prompt,
                         QWidget* parent) {
    CSetParamEditor editor(set, hardware, prompt, parent);
    return editor.exec() == QDialog::Accepted;
}

} // namespace

std::array<int, 10> SequenceColumnWidths(int dpi) {
    std::array<int, 10> widths{};
    const double scale = dpi / 96.0;
    for (size_t i = 0; i < widths.size(); ++i)
        widths[i] = static_cast<int>(kColumnWidthsAt96[i] * scale);
    return widths;
}

std::string SequenceColumnSpec(int dpi) {
    const auto widths = SequenceColumnWidths(dpi);
    const auto& titles = SequenceListTitles();
    std::string spec;
    for (size_t i = 0; i < widths.size(); ++i) {
        if (i > 0)
            spec += ';';
        spec += titles[i] + ", " + std::to_string(widths[i]);
    }
    return spec;
}

CStageView::CStageView(IStageDocument& document, IUserPrompt& prompt, QWidget* parent)
    : QWidget(parent), m_document(document), m_prompt(prompt), m_runEditor(DefaultEditorRunner) {
    setObjectName(QStringLiteral("StageView"));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor::fromRgb(kLightGrey));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    // Static texts black on light grey, read-only boxes on grey, editable boxes on white.
    setStyleSheet(
        QStringLiteral("QLabel { color: black; background-color: rgb(250,250,250); }"
                       "QLineEdit { color: black; background-color: white; }"
                       "QLineEdit[readOnly=\"true\"] { background-color: rgb(238,238,238); }"
                       // The set editor inherits these: its switched-off boxes must look off.
                       "QLineEdit:disabled { color: rgb(120,120,120); "
                       "background-color: rgb(238,238,238); }"
                       "QPlainTextEdit { color: black; background-color: rgb(238,238,238); }"));

    m_testNameEdit = new QLineEdit(QString::fromStdString(m_testName));
    m_testNumberEdit = ReadOnlyBox(QString::fromStdString(m_testNumber));
    m_testNumberEdit->setMaximumWidth(80);
    connect(m_testNameEdit, &QLineEdit::editingFinished, this, &CStageView::TakeTestName);

    m_editButton = new CQuillmarkButton(QStringLiteral("Edit Set"));
    m_deleteButton = new CQuillmarkButton(QStringLiteral("Delete "));
    m_insertAboveButton = new CQuillmarkButton(QStringLiteral("Insert Above"));
    m_insertBelowButton = new CQuillmarkButton(QStringLiteral("Insert Below"));
    for (auto* button : {m_editButton, m_deleteButton, m_insertAboveButton, m_insertBelowButton})
        StyleButton(button);
    connect(m_editButton, &QPushButton::clicked, this, &CStageView::OnEditSet);
    connect(m_deleteButton, &QPushButton::clicked, this, &CStageView::OnDelete);
    connect(m_insertAboveButton, &QPushButton::clicked, this, &CStageView::OnInsertAbove);
    connect(m_insertBelowButton, &QPushButton::clicked, this, &CStageView::OnInsertBelow);

    // The offset figure and its help button are kept for the form's sake but never shown.
    m_offsetLabel = new QLabel(QStringLiteral("Offset (mm)"));
    m_offsetEdit = ReadOnlyBox(QString::asprintf("%.2f", m_fOffset));
    m_helpButton = new CQuillmarkButton(QStringLiteral("?"));
    StyleButton(m_helpButton);
    for (QWidget* hidden :
         {static_cast<QWidget*>(m_offsetLabel), static_cast<QWidget*>(m_offsetEdit),
          static_cast<QWidget*>(m_helpButton)}) {
        hidden->setEnabled(false);
        hidden->hide();
    }

    m_usedMemoryEdit = ReadOnlyBox(QString::fromStdString(UsedMemoryText(0.0)));
    m_usedMemoryEdit->setMaximumWidth(80);
    m_totalTimeLabel = new QLabel(QStringLiteral("Total Time "));
    m_totalTimeEdit = ReadOnlyBox(QString::fromStdString(TimeText(0)));
    m_totalTimeEdit->setMaximumWidth(100);

    m_list = new CReportCtrl;
    m_list->SetSortable(false);
    m_list->SetEditable(false);
    connect(m_list, &CReportCtrl::DeleteKeyPressed, this, &CStageView::OnDelete);
    connect(m_list, &CReportCtrl::RowDoubleClicked, this, &CStageView::OnEditSet);
    m_list->SetColumns(QString::fromStdString(SequenceColumnSpec(96)));

    m_messageArea = new QPlainTextEdit;
    m_messageArea->setReadOnly(true);
    m_messageArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_messageArea->setMaximumHeight(110);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("Current Test Name and Number")));
    nameRow->addWidget(m_testNameEdit, 1);
    nameRow->addWidget(m_testNumberEdit);
    nameRow->addStretch(1);

    auto* commandRow = new QHBoxLayout;
    commandRow->addWidget(new QLabel(QStringLiteral("Test Sequence")));
    commandRow->addSpacing(12);
    for (auto* button : {m_editButton, m_deleteButton, m_insertAboveButton, m_insertBelowButton})
        commandRow->addWidget(button);
    commandRow->addWidget(m_offsetLabel);
    commandRow->addWidget(m_offsetEdit);
    commandRow->addWidget(m_helpButton);
    commandRow->addStretch(1);
    commandRow->addWidget(new QLabel(QStringLiteral("Used Memory (%)")));
    commandRow->addWidget(m_usedMemoryEdit);
    commandRow->addSpacing(12);
    commandRow->addWidget(m_totalTimeLabel);
    commandRow->addWidget(m_totalTimeEdit);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nameRow);
    layout->addLayout(commandRow);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_messageArea);
}

void CStageView::InitialUpdate() {
    if (m_initialised)
        return;
    m_initialised = true;
    m_list->SetColumns(QString::fromStdString(SequenceColumnSpec(logicalDpiX())));
    RefreshFromDocument();
    m_document.StartWorker();
}

bool CStageView::Hydrostatic() const {
    return m_document.Hardware().MembraneStyle == Membrane::Hydrostatic;
}

void CStageView::FillRow(int row) {
    const auto cells = SequenceListRow(m_sequence, row, Hydrostatic());
    for (int column = 0; column < int(cells.size()); ++column)
        m_list->SetItemText(row, column, QString::fromStdString(cells[size_t(column)]));
}

void CStageView::UpdateFigures() {
    m_nTotalTime = TotalSeconds(m_sequence);
    m_totalTimeEdit->setText(QString::fromStdString(TimeText(m_nTotalTime)));
    m_fUsedMemory = UsedMemory(m_list->rowCount());
    m_usedMemoryEdit->setText(QString::fromStdString(UsedMemoryText(m_fUsedMemory)));
}

void CStageView::RefreshFromDocument() {
    OnGuiThread(
        [this] {
            ++m_rebuilds;
            m_list->setUpdatesEnabled(false);
            m_list->DeleteAllRows();
            m_sequence = m_document.CommittedSequence();
            for (int row = 0; row < int(m_sequence.sets.size()); ++row) {
                m_list->InsertRow(row);
                FillRow(row);
            }
            m_list->setUpdatesEnabled(true);
            m_totalTimeLabel->setText(QStringLiteral("Total Time"));
            UpdateFigures();
            update();
        },
        true);
}

void CStageView::ClearSequence() {
    OnGuiThread(
        [this] {
            ++m_rebuilds;
            m_list->DeleteAllRows();
            m_sequence.sets.clear();
            UpdateFigures();
        },
        true);
}

void CStageView::InsertSet(int index, SetRecord set) {
    set.XUnits = MagnitudeUnits::N;
    if (Hydrostatic())
        set.XMagnitude = 0.1;
    index = std::clamp(index, 0, int(m_sequence.sets.size()));
    m_sequence.sets.insert(m_sequence.sets.begin() + index, std::move(set));
    m_list->InsertRow(index);
    FillRow(index);
    UpdateFigures();
    m_document.MarkModified();
}

// Inserting stops at the device's ten sets.
bool CStageView::MayInsert() {
    if (m_list->rowCount() >= kMaxSets) {
        m_prompt.ShowMessage("Maximum Sets Limit Reached", MessageIcon::Exclamation);
        return false;
    }
    return true;
}

void CStageView::OnInsertAbove() {
    if (!MayInsert())
        return;
    const std::vector<int> selected = m_list->SelectedRows();
    const int index = selected.empty() ? 0 : selected.front();
    const SetRecord set =
        index < int(m_sequence.sets.size()) ? m_sequence.sets[size_t(index)] : SetRecord();
    InsertSet(index, set);
}

void CStageView::OnInsertBelow() {
    if (!MayInsert())
        return;
    const std::vector<int> selected = m_list->SelectedRows();
    const int index = selected.empty() ? m_list->rowCount() - 1 : selected.back();
    const SetRecord set = index >= 0 && index < int(m_sequence.sets.size())
                              ? m_sequence.sets[size_t(index)]
                              : SetRecord();
    InsertSet(index + 1, set);
}

void CStageView::OnDelete() {
    for (std::vector<int> selected = m_list->SelectedRows(); !selected.empty();
         selected = m_list->SelectedRows()) {
        const int row = selected.front();
        m_list->DeleteRow(row);
        if (row < int(m_sequence.sets.size()))
            m_sequence.sets.erase(m_sequence.sets.begin() + row);
        UpdateFigures();
        m_document.MarkModified();
    }
}

void CStageView::OnEditSet() {
    TakeTestName();
    const std::vector<int> selected = m_list->SelectedRows();
    if (selected.empty() || selected.front() >= int(m_sequence.sets.size()))
        return;
    const int index = selected.front();
    SetRecord copy = m_sequence.sets[size_t(index)];
    const unsigned rebuilds = m_rebuilds;
    // The editor keeps its own copy of the description for as long as it is open.
    const HardwareDescription hardware = m_document.Hardware();
    if (!m_runEditor(copy, hardware, m_prompt, this))
        return;
    // The device worker may have replaced or cleared the sequence while the editor was open
    // (Read Device, hardware settings); the edited set then no longer exists.
    if (rebuilds != m_rebuilds || index >= int(m_sequence.sets.size()))
        return;
    m_sequence.sets[size_t(index)] = copy;
    FillRow(index);
    UpdateFigures();
    m_document.MarkModified();
}

void CStageView::TakeTestName() {
    m_testName = m_testNameEdit->text().toStdString();
}

void CStageView::SetTestName(const std::string& name) {
    OnGuiThread([this, name] { SetTestNameBox(name); }, false);
}

void CStageView::SetTestNameBox(const std::string& name) {
    m_testName = name;
    m_testNameEdit->setText(QString::fromStdString(name));
}

void CStageView::SetTestNumber(const std::string& number) {
    OnGuiThread(
        [this, number] {
            m_testNumber = number;
            m_testNumberEdit->setText(QString::fromStdString(number));
        },
        false);
}

std::string CStageView::TestName() {
    return OnGuiThread([this] { return m_testName; }, true);
}

void CStageView::ClearMessageArea() {
    OnGuiThread(
        [this] {
            m_messageArea->clear();
            m_nMessageLines = 0;
        },
        false);
}

void CStageView::AppendMessage(const std::string& text) {
    OnGuiThread(
        [this, text] {
            const int lines = int(std::count(text.begin(), text.end(), '\n'));
            QTextCursor end = m_messageArea->textCursor();
            end.movePosition(QTextCursor::End);
            end.insertText(QString::fromStdString(text));
            m_nMessageLines += lines;
            // Bring the newest line into view.
            m_messageArea->verticalScrollBar()->setValue(
                m_messageArea->verticalScrollBar()->maximum());
        },
        false);
}

QString CStageView::MessageText() const {
    return m_messageArea->toPlainText();
}

namespace {

// The check reads and corrects the name in the box itself, not the copy taken on focus loss.
class CheckHost : public ISequenceCheckHost {
public:
    CheckHost(std::function<void(const std::string&)> show, QLineEdit* box,
              std::function<void(const std::string&)> setName)
        : m_show(std::move(show)), m_box(box), m_setName(std::move(setName)) {}
    void ShowCheckMessage(const std::string& text) override { m_show(text); }
    std::string TestName() override { return m_box->text().toStdString(); }
    void SetTestName(const std::string& name) override { m_setName(name); }

private:
    std::function<void(const std::string&)> m_show;
    QLineEdit* m_box;
    std::function<void(const std::string&)> m_setName;
};

} // namespace

bool CStageView::CheckSequence() {
    return OnGuiThread(
        [this] {
            // The name the device receives is the one checked and corrected here, even when the
            // user has not left the box yet.
            TakeTestName();
            CheckHost host([this](const std::string& text) { ShowCheckMessage(text); },
                           m_testNameEdit,
                           [this](const std::string& name) { SetTestNameBox(name); });
            return ::CheckSequence(m_sequence, m_document.CommittedSequence(),
                                   m_document.MaxStretchPosMm(), host) == 1;
        },
        true);
}

SetSequence CStageView::ShownSequence() {
    return OnGuiThread([this] { return m_sequence; }, true);
}

void CStageView::ShowCheckMessage(const std::string& text) {
    const bool warning = text.rfind("Warning:", 0) == 0;
    m_prompt.ShowMessage(text, warning ? MessageIcon::Exclamation : MessageIcon::Error);
}
