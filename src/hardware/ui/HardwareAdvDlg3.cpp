#include "hardware/ui/HardwareAdvDlg3.h"

#include "controls/WidgetPrompt.h"
#include "devicelink/Controller.h"
#include "document/DialogSession.h"
#include "document/ViewInterfaces.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <optional>

// --- logic ---------------------------------------------------------------------------------

int DialogEntryIndex(const std::vector<std::string>& entries, const std::string& name) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == name)
            return static_cast<int>(i);
    }
    return 0;
}

namespace {

std::string EntryFor(const std::vector<std::string>& entries, const std::string& name) {
    return entries.empty() ? std::string() : entries[DialogEntryIndex(entries, name)];
}

// Numbers are shown as the dialog framework shows doubles: up to 15 significant digits.
QString NumberText(double value) {
    return QString::number(value, 'g', 15);
}

} // namespace

HardwareSelections SelectionsFromHardware(const HardwareDescription& description) {
    HardwareSelections selections;
    selections.membrane = EntryFor(MembraneDialogNames(), MembraneName(description.MembraneStyle));
    selections.spring = EntryFor(SpringDialogNames(), SpringName(description.SpringType));
    selections.magnet = EntryFor(MagnetDialogNames(), MagnetName(description.MagnetStyle));
    selections.regulator =
        EntryFor(RegulatorDialogNames(), RegulatorName(description.RegulatorType));
    selections.wellDepthMm = description.WellDepth_mm;
    return selections;
}

HardwareDescription HardwareFromSelections(const HardwareDescription& base,
                                           const HardwareSelections& selections) {
    HardwareDescription result = base;
    result.WellDepth_mm = selections.wellDepthMm;
    result.MembraneStyle = MembraneFromName(selections.membrane);
    result.SpringType = SpringFromName(selections.spring);
    result.MagnetStyle = MagnetFromName(selections.magnet);
    result.RegulatorType = RegulatorFromName(selections.regulator);
    return result;
}

double IdealSpecimenHeight(const HardwareDescription& description, double wellDepthMm) {
    return wellDepthMm - description.heightOffset_mm;
}

// --- dialog ----------------------------------------------------------------------------------

namespace {

QComboBox* MakeList(const std::vector<std::string>& entries) {
    auto* list = new QComboBox;
    list->setEditable(false);
    for (const std::string& entry : entries)
        list->addItem(QString::fromStdString(entry));
    return list;
}

QGroupBox* Group(const char* title, QWidget* content) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(content);
    return group;
}

void Select(QComboBox* list, const std::string& name) {
    list->setCurrentIndex(list->findText(QString::fromStdString(name), Qt::MatchExactly));
    if (list->currentIndex() < 0 && list->count() > 0)
        list->setCurrentIndex(0);
}

std::string SelectedText(const QComboBox* list) {
    return list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
}

} // namespace

CHardwareAdvDlg3::CHardwareAdvDlg3(const HardwareDescription& description, DialogSession& session,
                                   IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_description(description), m_session(session), m_prompt(prompt),
      m_fWellDepth(description.WellDepth_mm),
      m_fIdealHeight(IdealSpecimenHeight(description, description.WellDepth_mm)) {
    setWindowTitle(QStringLiteral("Hardware Advanced"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // Shown boxes that cannot be typed in: grey like the dialog, and passed over by Tab.
    const auto readOnlyBox = [this] {
        auto* box = new QLineEdit;
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        QPalette colours = box->palette();
        colours.setColor(QPalette::Base, palette().color(QPalette::Window));
        box->setPalette(colours);
        return box;
    };
    m_hardwareIdEdit = readOnlyBox();
    m_hardwareIdEdit->setObjectName(QStringLiteral("hardwareId"));
    m_wellDepthEdit = new QLineEdit;
    m_wellDepthEdit->setObjectName(QStringLiteral("wellDepth"));
    m_wellDepthEdit->installEventFilter(this);
    m_idealHeightEdit = readOnlyBox();
    m_idealHeightEdit->setObjectName(QStringLiteral("idealSpecimenHeight"));

    m_membraneList = MakeList(MembraneDialogNames());
    m_springList = MakeList(SpringDialogNames());
    m_magnetList = MakeList(MagnetDialogNames());
    m_regulatorList = MakeList(RegulatorDialogNames());
    const HardwareSelections selections = SelectionsFromHardware(description);
    Select(m_membraneList, selections.membrane);
    Select(m_springList, selections.spring);
    Select(m_magnetList, selections.magnet);
    Select(m_regulatorList, selections.regulator);

    m_programButton = new QPushButton(QStringLiteral("Program"));
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"));
    m_programButton->setAutoDefault(false);
    m_cancelButton->setAutoDefault(false);
    connect(m_programButton, &QPushButton::clicked, this, &CHardwareAdvDlg3::OnProgram);
    connect(m_cancelButton, &QPushButton::clicked, this, &CHardwareAdvDlg3::reject);

    auto* idRow = new QHBoxLayout;
    idRow->addWidget(new QLabel(QStringLiteral("Hardware ID    ")));
    idRow->addWidget(m_hardwareIdEdit);
    idRow->addStretch();

    auto* heightBox = new QWidget;
    auto* heightLayout = new QVBoxLayout(heightBox);
    heightLayout->setContentsMargins(0, 0, 0, 0);
    heightLayout->addWidget(m_wellDepthEdit);
    heightLayout->addWidget(new QLabel(QStringLiteral("Ideal Specimen Height (mm)    ")));
    heightLayout->addWidget(m_idealHeightEdit);

    auto* grid = new QGridLayout;
    grid->addWidget(Group("Membrane", m_membraneList), 0, 0);
    grid->addWidget(Group("Calibration Well Spring", m_springList), 0, 1);
    grid->addWidget(Group("Magnet Style", m_magnetList), 1, 0);
    grid->addWidget(Group("Pressure Regulator", m_regulatorList), 1, 1);
    grid->addWidget(Group("Well Depth (mm)", heightBox), 2, 0);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_programButton);
    buttons->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(idRow);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    ShowFields();
}

HardwareSelections CHardwareAdvDlg3::Selections() const {
    HardwareSelections selections;
    selections.membrane = SelectedText(m_membraneList);
    selections.spring = SelectedText(m_springList);
    selections.magnet = SelectedText(m_magnetList);
    selections.regulator = SelectedText(m_regulatorList);
    selections.wellDepthMm = m_fWellDepth;
    return selections;
}

bool CHardwareAdvDlg3::ReadWellDepth() {
    bool ok = false;
    const double value = QLocale::c().toDouble(m_wellDepthEdit->text().trimmed(), &ok);
    if (ok && std::isfinite(value)) {
        m_fWellDepth = value;
        return true;
    }
    // The message box takes the focus: the focus-out that causes must not ask again.
    m_bValidating = true;
    m_prompt.ShowMessage(kNotANumber, MessageIcon::Exclamation);
    m_bValidating = false;
    m_wellDepthEdit->setFocus();
    return false;
}

void CHardwareAdvDlg3::ShowFields() {
    m_hardwareIdEdit->setText(QString::number(m_description.hardwareVersion));
    m_wellDepthEdit->setText(NumberText(m_fWellDepth));
    m_idealHeightEdit->setText(NumberText(m_fIdealHeight));
}

void CHardwareAdvDlg3::OnKillFocusWellDepth() {
    ReadWellDepth();
    m_fIdealHeight = IdealSpecimenHeight(m_description, m_fWellDepth);
    ShowFields();
}

bool CHardwareAdvDlg3::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_wellDepthEdit && event->type() == QEvent::FocusOut && !m_bValidating &&
        !m_bBusy)
        OnKillFocusWellDepth();
    return QDialog::eventFilter(watched, event);
}

void CHardwareAdvDlg3::SetBusy(bool busy) {
    m_bBusy = busy;
    // Nothing may change under the work that is on its way to the device.
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_wellDepthEdit, m_membraneList, m_springList, m_magnetList, m_regulatorList,
             m_programButton, m_cancelButton})
        control->setEnabled(!busy);
}

void CHardwareAdvDlg3::OnProgram() {
    if (m_bBusy)
        return;
    // A refused well depth does not stop Program: the last valid value is used.
    ReadWellDepth();
    m_fIdealHeight = IdealSpecimenHeight(m_description, m_fWellDepth);
    ShowFields();
    const HardwareDescription edited = HardwareFromSelections(m_description, Selections());

    SetBusy(true);
    const bool queued = m_session.Request<HardwareProgramResult>(
        this, [edited](Controller& controller) { return ProgramHardware(controller, edited); },
        [this, edited](HardwareProgramResult result) { OnProgramDone(result, edited); });
    if (!queued) {
        SetBusy(false);
        m_prompt.ShowMessage(kDeviceGone, MessageIcon::Error);
    }
}

void CHardwareAdvDlg3::OnProgramDone(const HardwareProgramResult& result,
                                     const HardwareDescription& programmed) {
    SetBusy(false);
    if (result.infoWritten) {
        m_bApplied = true;
        m_description = programmed;
    }
    if (result.Succeeded()) {
        accept();
        return;
    }
    // The dialog stays open: the user may program again or cancel.
    m_prompt.ShowMessage(HardwareProgramFailureText(result), MessageIcon::Error);
}

void CHardwareAdvDlg3::reject() {
    if (!m_bBusy)
        QDialog::reject();
}

// --- opener ----------------------------------------------------------------------------------

bool OpenHardwareSettingsDialog(DialogSession& session, QWidget* parent, IUserPrompt* prompt) {
    // The description belongs to the worker's controller: copy it there.
    const auto description = session.RunAndWait<std::optional<HardwareDescription>>(
        [](Controller& controller) { return std::optional(controller.hardware); }, std::nullopt);
    if (!description)
        return false;

    std::unique_ptr<CWidgetPrompt> ownPrompt;
    if (!prompt) {
        ownPrompt = std::make_unique<CWidgetPrompt>();
        prompt = ownPrompt.get();
    }
    CHardwareAdvDlg3 dialog(*description, session, *prompt, parent);
    if (ownPrompt)
        ownPrompt->SetParentWidget(&dialog);
    dialog.exec();
    return dialog.Applied();
}
