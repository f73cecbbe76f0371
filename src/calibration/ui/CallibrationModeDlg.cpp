#include "calibration/ui/CallibrationModeDlg.h"

#include "calibration/ui/CalibrationWork.h"
#include "controls/WidgetPrompt.h"
#include "devicelink/Controller.h"
#include "document/Settings.h"
#include "document/ViewInterfaces.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <optional>

namespace {

QLineEdit* ReadOnlyField() {
    auto* edit = new QLineEdit;
    edit->setReadOnly(true);
    edit->setMaximumWidth(80);
    return edit;
}

QPushButton* Button(const char* text) {
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setAutoDefault(false);
    return button;
}

QLabel* Label(const char* text) {
    return new QLabel(QString::fromLatin1(text));
}

// The wells as they sit on the plate: 1 2 3 / 4 5 6 / 7 8 9, the connectors beside them.
QGroupBox* WellGrid(const QString& title, const std::array<QLineEdit*, kWellCount>& fields,
                    std::vector<QWidget*>& labels) {
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    const char* rows[3] = {"1 2 3", "4 5 6", "7 8 9"};
    for (int r = 0; r < 3; ++r) {
        QLabel* label = Label(rows[r]);
        labels.push_back(label);
        grid->addWidget(label, r, 0);
        for (int c = 0; c < 3; ++c)
            grid->addWidget(fields[static_cast<std::size_t>(3 * r + c)], r, 1 + c);
    }
    QLabel* usb = Label("USB");
    QLabel* jack = Label("3.5 mm Jack");
    labels.push_back(usb);
    labels.push_back(jack);
    grid->addWidget(usb, 3, 1);
    grid->addWidget(jack, 3, 3);
    return group;
}

struct SetPointWork {
    SetPointResult setPoint;
    SensorFigures figures;
};

struct OffsetsWork {
    CalibrationOutcome outcome;
    SensorFigures figures;
};

} // namespace

CCallibrationModeDlg::CCallibrationModeDlg(const HardwareDescription& description,
                                           DialogSession& session, IUserPrompt& prompt,
                                           std::filesystem::path specialPositions, QWidget* parent)
    : QDialog(parent), m_session(session), m_prompt(prompt),
      m_specialPositions(std::move(specialPositions)),
      m_hydrostatic(description.MembraneStyle == Membrane::Hydrostatic),
      m_spring(description.SpringType) {
    setWindowTitle(QStringLiteral("Calibration Mode"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_entry = new QLineEdit;
    m_entry->setMaximumWidth(80);
    m_rawSetPoint = ReadOnlyField();
    m_plus = Button("+1.0");
    m_minus = Button("-1.0");
    m_set = Button("Set");
    m_specifyRaw = new QCheckBox(QStringLiteral("Specify Raw Units"));
    m_specifyMPa = new QCheckBox(QStringLiteral("Specify MPa Units"));
    m_valve = new QCheckBox(
        QStringLiteral("Pressure Valve Open (if not open forces will not be applied)   "));
    m_showRaw = new QCheckBox(QStringLiteral("Show Raw Units"));
    m_pressure = ReadOnlyField();
    m_rawPressure = ReadOnlyField();
    m_stdDev = ReadOnlyField();
    for (int w = 0; w < kWellCount; ++w) {
        m_positions[static_cast<std::size_t>(w)] = ReadOnlyField();
        m_forces[static_cast<std::size_t>(w)] = ReadOnlyField();
    }
    m_averageForce = ReadOnlyField();
    m_springForce = ReadOnlyField();
    m_absolute = new QLineEdit;
    m_absolute->setMaximumWidth(80);
    m_query = Button("Query");
    m_calibrate = Button("Calibrate");
    m_reset = Button("Reset");
    m_special = Button("Special");
    m_done = Button("Done");
    m_progress = new QProgressBar;
    m_progress->setVisible(false);

    m_setPointGroup = new QGroupBox(m_hydrostatic ? QStringLiteral("Pressure (MPa)")
                                                  : QStringLiteral("Force (N)"));
    auto* setPoint = new QGridLayout(m_setPointGroup);
    setPoint->addWidget(m_entry, 0, 0);
    setPoint->addWidget(m_plus, 0, 1);
    setPoint->addWidget(m_minus, 0, 2);
    setPoint->addWidget(m_set, 0, 3);
    setPoint->addWidget(Label("Raw"), 0, 4);
    setPoint->addWidget(m_rawSetPoint, 0, 5);
    setPoint->addWidget(m_specifyRaw, 1, 0, 1, 3);
    setPoint->addWidget(m_specifyMPa, 1, 3, 1, 3);

    auto* pressureRow = new QHBoxLayout;
    pressureRow->addWidget(Label("Pressure (MPa)  "));
    pressureRow->addWidget(m_pressure);
    pressureRow->addWidget(Label("(Raw)"));
    pressureRow->addWidget(m_rawPressure);
    pressureRow->addWidget(Label("(Std. Dev.) "));
    pressureRow->addWidget(m_stdDev);
    pressureRow->addStretch();

    std::vector<QWidget*> forceLabels;
    QGroupBox* forceGroup = WellGrid(QString(), m_forces, forceLabels);
    auto* forceGrid = static_cast<QGridLayout*>(forceGroup->layout());
    QLabel* calibrationWell = Label("Calibration Well");
    QLabel* average = Label("Avg Force (N)  ");
    QLabel* spring = Label("Spring F (N)");
    forceGrid->addWidget(calibrationWell, 4, 1);
    forceGrid->addWidget(average, 5, 0, 1, 2);
    forceGrid->addWidget(m_averageForce, 5, 2);
    forceGrid->addWidget(spring, 6, 0, 1, 2);
    forceGrid->addWidget(m_springForce, 6, 2);

    std::vector<QWidget*> positionLabels;
    QGroupBox* positionGroup =
        WellGrid(QStringLiteral("Position (um)"), m_positions, positionLabels);
    auto* positionGrid = static_cast<QGridLayout*>(positionGroup->layout());
    QLabel* showing = Label("Showing Average");
    QLabel* samples = Label("of 100 Samples");
    positionGrid->addWidget(showing, 4, 1, 1, 2);
    positionGrid->addWidget(samples, 5, 1, 1, 2);
    positionGrid->addWidget(m_showRaw, 6, 1, 1, 3);

    auto* absoluteGroup = new QGroupBox(QStringLiteral("Absolute Position (um)"));
    auto* absolute = new QHBoxLayout(absoluteGroup);
    absolute->addWidget(m_absolute);
    absolute->addWidget(m_calibrate);
    absolute->addWidget(m_reset);
    absolute->addStretch();

    auto* readings = new QHBoxLayout;
    readings->addWidget(forceGroup);
    readings->addWidget(positionGroup);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_special);
    buttons->addWidget(m_query);
    buttons->addWidget(m_progress, 1);
    buttons->addStretch();
    buttons->addWidget(m_done);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_setPointGroup);
    layout->addWidget(m_valve);
    layout->addLayout(pressureRow);
    layout->addLayout(readings);
    layout->addWidget(absoluteGroup);
    layout->addLayout(buttons);

    if (m_hydrostatic) {
        m_forceOnly = {m_averageForce, m_springForce, m_absolute,    m_plus,       m_minus,
                       m_query,        m_calibrate,   m_special,     m_reset,      m_showRaw,
                       m_specifyMPa,   forceGroup,    positionGroup, absoluteGroup};
        for (QWidget* widget : m_forceOnly)
            widget->setEnabled(false);
    }

    connect(m_set, &QPushButton::clicked, this, &CCallibrationModeDlg::OnSet);
    connect(m_plus, &QPushButton::clicked, this, &CCallibrationModeDlg::OnPlus);
    connect(m_minus, &QPushButton::clicked, this, &CCallibrationModeDlg::OnMinus);
    connect(m_specifyRaw, &QCheckBox::clicked, this, &CCallibrationModeDlg::OnSpecifyRaw);
    connect(m_specifyMPa, &QCheckBox::clicked, this, &CCallibrationModeDlg::OnSpecifyMPa);
    connect(m_valve, &QCheckBox::clicked, this, &CCallibrationModeDlg::OnValve);
    connect(m_query, &QPushButton::clicked, this, &CCallibrationModeDlg::OnQuery);
    connect(m_showRaw, &QCheckBox::clicked, this, &CCallibrationModeDlg::OnQuery);
    connect(m_calibrate, &QPushButton::clicked, this, &CCallibrationModeDlg::OnCalibrate);
    connect(m_reset, &QPushButton::clicked, this, &CCallibrationModeDlg::OnReset);
    connect(m_special, &QPushButton::clicked, this, &CCallibrationModeDlg::OnSpecial);
    connect(m_done, &QPushButton::clicked, this, &CCallibrationModeDlg::OnDone);

    ShowControls();
    ShowFigures();
    // The valve opens with the dialog; no readings are taken until the first refresh.
    m_session.Request<bool>(
        this,
        [](Controller& c) {
            ControllerCalibrationDevice device(c);
            return SendValve(device, true);
        },
        [](bool) {});
}

void CCallibrationModeDlg::SetBusy(bool busy) {
    m_busy = busy;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_entry, m_plus, m_minus, m_set, m_specifyRaw, m_specifyMPa, m_valve, m_showRaw,
             m_absolute, m_query, m_calibrate, m_reset, m_special, m_done}) {
        const bool forceOnly =
            std::find(m_forceOnly.begin(), m_forceOnly.end(), control) != m_forceOnly.end();
        control->setEnabled(!busy && !forceOnly);
    }
}

void CCallibrationModeDlg::ReadControls() {
    bool ok = false;
    const float entry = QLocale::c().toFloat(m_entry->text().trimmed(), &ok);
    if (ok && std::isfinite(entry))
        m_setPoint.entry = entry;
    else
        m_prompt.ShowMessage(kNotANumber, MessageIcon::Exclamation);
    const int absolute = QLocale::c().toInt(m_absolute->text().trimmed(), &ok);
    if (ok)
        m_absolutePosition = absolute;
    else
        m_prompt.ShowMessage(kNotAnInteger, MessageIcon::Exclamation);
    m_setPoint.specifyRaw = m_specifyRaw->isChecked();
    m_setPoint.specifyMPa = m_specifyMPa->isChecked();
    m_valveOpen = m_valve->isChecked();
    m_showRawUnits = m_showRaw->isChecked();
}

void CCallibrationModeDlg::ShowControls() {
    m_entry->setText(QString::fromStdString(GeneralText(m_setPoint.entry, 6)));
    m_rawSetPoint->setText(QString::number(m_rawSetPointValue));
    m_specifyRaw->setChecked(m_setPoint.specifyRaw);
    m_specifyMPa->setChecked(m_setPoint.specifyMPa);
    m_valve->setChecked(m_valveOpen);
    m_showRaw->setChecked(m_showRawUnits);
    m_absolute->setText(QString::number(m_absolutePosition));
}

void CCallibrationModeDlg::ShowFigures() {
    auto text = [](const std::string& s) { return QString::fromStdString(s); };
    m_pressure->setText(text(DoubleFigureText(m_figures.pressure)));
    m_rawPressure->setText(text(DoubleFigureText(m_figures.rawPressure)));
    m_stdDev->setText(text(DoubleFigureText(m_figures.pressureStdDev)));
    for (std::size_t w = 0; w < kWellCount; ++w) {
        m_positions[w]->setText(text(FloatFigureText(m_figures.positions[w])));
        m_forces[w]->setText(text(DoubleFigureText(m_figures.forces[w])));
    }
    m_averageForce->setText(text(FloatFigureText(m_figures.averageForce)));
    m_springForce->setText(text(DoubleFigureText(m_figures.springForce)));
}

void CCallibrationModeDlg::ShowOutcome(const CalibrationOutcome& outcome) {
    if (!outcome.message.empty())
        m_prompt.ShowMessage(outcome.message,
                             outcome.error ? MessageIcon::Error : MessageIcon::Exclamation);
}

void CCallibrationModeDlg::ApplySetPointAndRefresh() {
    ShowControls();
    SetBusy(true);
    const auto work = RunCalibrationWork<SetPointWork>(
        m_session,
        [controls = m_setPoint, spring = m_spring, raw = m_showRawUnits,
         previous = m_figures](ICalibrationDevice& device, const ProgressFn& progress) {
            SetPointWork result{ApplySetPoint(device, controls), previous};
            if (result.setPoint.raw) {
                device.SleepMs(kSetPointSettleMs);
                result.figures =
                    RefreshReadings(device, spring, raw, previous, kSamplesPerReading, progress);
            }
            return result;
        },
        m_progress);
    SetBusy(false);
    if (!work) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    if (work->setPoint.raw)
        m_rawSetPointValue = *work->setPoint.raw;
    m_figures = work->figures;
    ShowControls();
    ShowFigures();
    if (!work->setPoint.raw)
        m_prompt.ShowMessage(work->setPoint.message, MessageIcon::Error);
}

void CCallibrationModeDlg::Refresh() {
    SetBusy(true);
    const auto figures = RunCalibrationWork<SensorFigures>(
        m_session,
        [spring = m_spring, raw = m_showRawUnits,
         previous = m_figures](ICalibrationDevice& device, const ProgressFn& progress) {
            return RefreshReadings(device, spring, raw, previous, kSamplesPerReading, progress);
        },
        m_progress);
    SetBusy(false);
    if (!figures) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    m_figures = *figures;
    ShowFigures();
}

void CCallibrationModeDlg::OnSet() {
    if (m_busy)
        return;
    ReadControls();
    ApplySetPointAndRefresh();
}

void CCallibrationModeDlg::OnPlus() {
    if (m_busy)
        return;
    ReadControls();
    m_setPoint.StepUp();
    ApplySetPointAndRefresh();
}

void CCallibrationModeDlg::OnMinus() {
    if (m_busy)
        return;
    ReadControls();
    m_setPoint.StepDown();
    ApplySetPointAndRefresh();
}

void CCallibrationModeDlg::OnSpecifyRaw() {
    if (m_busy)
        return;
    ReadControls();
    m_setPoint.ChooseRaw(m_setPoint.specifyRaw);
    ApplySetPointAndRefresh();
}

void CCallibrationModeDlg::OnSpecifyMPa() {
    if (m_busy)
        return;
    ReadControls();
    m_setPoint.ChooseMPa(m_setPoint.specifyMPa);
    ApplySetPointAndRefresh();
}

void CCallibrationModeDlg::OnValve() {
    if (m_busy)
        return;
    ReadControls();
    ShowControls();
    // A failed valve command is not shown; the readings tell whether pressure arrives.
    m_session.Request<bool>(
        this,
        [open = m_valveOpen](Controller& c) {
            ControllerCalibrationDevice device(c);
            return SendValve(device, open);
        },
        [](bool) {});
}

void CCallibrationModeDlg::OnQuery() {
    if (m_busy)
        return;
    ReadControls();
    ShowControls();
    Refresh();
}

void CCallibrationModeDlg::ChangeOffsets(
    std::function<CalibrationOutcome(ICalibrationDevice&, const ProgressFn&)> change) {
    SetBusy(true);
    const auto work = RunCalibrationWork<OffsetsWork>(
        m_session,
        [change = std::move(change), spring = m_spring, raw = m_showRawUnits,
         previous = m_figures](ICalibrationDevice& device, const ProgressFn& progress) {
            OffsetsWork result{change(device, progress), previous};
            result.figures =
                RefreshReadings(device, spring, raw, previous, kSamplesPerReading, progress);
            return result;
        },
        m_progress);
    SetBusy(false);
    if (!work) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    m_figures = work->figures;
    ShowFigures();
    ShowOutcome(work->outcome);
}

void CCallibrationModeDlg::OnCalibrate() {
    if (m_busy || m_prompt.ShowMessage(kAdvancedSettingQuestion, MessageIcon::Exclamation,
                                       MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes)
        return;
    ReadControls();
    ShowControls();
    ChangeOffsets([absolute = m_absolutePosition](ICalibrationDevice& device,
                                                  const ProgressFn& progress) {
        return OffsetsOutcome(CalibratePositions(device, absolute, kSamplesPerReading, progress));
    });
}

void CCallibrationModeDlg::OnReset() {
    if (m_busy || m_prompt.ShowMessage(kAdvancedSettingQuestion, MessageIcon::Exclamation,
                                       MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes)
        return;
    ReadControls();
    ShowControls();
    ChangeOffsets(
        [](ICalibrationDevice& device, const ProgressFn&) { return ResetPositions(device); });
}

void CCallibrationModeDlg::OnSpecial() {
    if (m_busy)
        return;
    ReadControls();
    ShowControls();
    ShowOutcome(SaveSpecialPositions(m_specialPositions, m_figures));
}

void CCallibrationModeDlg::OnDone() {
    if (m_busy || m_leaving)
        return;
    m_leaving = true;
    SetBusy(true);
    RunCalibrationWork<bool>(m_session, [](ICalibrationDevice& device, const ProgressFn&) {
        LeaveCalibrationMode(device);
        return true;
    });
    SetBusy(false);
    accept();
}

// --- opener ----------------------------------------------------------------------------------

bool OpenCalibrationModeDialog(DialogSession& session, QWidget* parent, IUserPrompt* prompt) {
    const auto description = session.RunAndWait<std::optional<HardwareDescription>>(
        [](Controller& controller) { return std::optional(controller.hardware); }, std::nullopt);
    if (!description)
        return false;
    std::unique_ptr<CWidgetPrompt> ownPrompt;
    if (!prompt) {
        ownPrompt = std::make_unique<CWidgetPrompt>();
        prompt = ownPrompt.get();
    }
    CCallibrationModeDlg dialog(*description, session, *prompt, Folders::SpecialPositions(),
                                parent);
    if (ownPrompt)
        ownPrompt->SetParentWidget(&dialog);
    dialog.exec();
    return false;
}
