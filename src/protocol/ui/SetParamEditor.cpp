#include "protocol/ui/SetParamEditor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

// Shortest text that reads back as the same number, as the edit boxes show values.
QString NumberText(double value) {
    return QString::number(value, 'g', 12);
}

void SelectText(QComboBox* list, const std::string& text) {
    list->setCurrentIndex(list->findText(QString::fromStdString(text), Qt::MatchExactly));
}

std::string SelectedText(const QComboBox* list) {
    return list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
}

} // namespace

CSetParamEditor::CSetParamEditor(SetRecord& set, const HardwareDescription& hardware,
                                 IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_set(set), m_hardware(hardware), m_prompt(prompt) {
    setWindowTitle(QStringLiteral("Set Parameter Editor"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* grid = new QGridLayout;
    int row = 0;
    const auto addRow = [&](QLabel* label, QWidget* field, QWidget* extra = nullptr) {
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        if (extra)
            grid->addWidget(extra, row, 2);
        ++row;
    };

    m_name = new QLineEdit;
    m_name->setMaxLength(kMaxSetNameLength);
    addRow(new QLabel(QStringLiteral("Set name")), m_name,
           new QLabel(QStringLiteral("(Max. 15 char)")));

    m_function = new QComboBox;
    m_function->addItems({QStringLiteral("Ramp"), QStringLiteral("Sinusoid")});
    addRow(new QLabel(QStringLiteral("Control Function")), m_function);

    m_magnitudeLabel = new QLabel(QStringLiteral("Compress Magnitude (N)"));
    m_magnitude = new QLineEdit;
    addRow(m_magnitudeLabel, m_magnitude);

    m_preloadLabel = new QLabel(QStringLiteral("Preload Magnitude (N) "));
    m_preload = new QLineEdit;
    addRow(m_preloadLabel, m_preload);

    m_autoAdjust = new QCheckBox(QStringLiteral("Auto Adjust Pressure"));
    grid->addWidget(m_autoAdjust, row++, 0, 1, 3);
    m_adjustSpring = new QRadioButton(QStringLiteral("Adjust Based On Calibration Spring"));
    m_adjustDisplacement = new QRadioButton(QStringLiteral("Adjust Based On Displacements"));
    auto* radios = new QButtonGroup(this);
    radios->addButton(m_adjustSpring, 0);
    radios->addButton(m_adjustDisplacement, 1);
    grid->addWidget(m_adjustSpring, row++, 1, 1, 2);
    grid->addWidget(m_adjustDisplacement, row++, 1, 1, 2);

    m_timeUnits = new QComboBox;
    m_timeUnits->addItems({QStringLiteral("Seconds"), QStringLiteral("Minutes"),
                           QStringLiteral("Hours"), QStringLiteral("Days")});
    addRow(new QLabel(QStringLiteral("Time Units")), m_timeUnits);

    m_stretch = new QLineEdit;
    m_doNotStretch = new QCheckBox(QStringLiteral("Do Not Stretch"));
    addRow(new QLabel(QStringLiteral("Compress Duration")), m_stretch, m_doNotStretch);
    m_hold = new QLineEdit;
    addRow(new QLabel(QStringLiteral("Hold Duration")), m_hold);
    m_recovery = new QLineEdit;
    m_doNotRecover = new QCheckBox(QStringLiteral("Do Not Recover"));
    addRow(new QLabel(QStringLiteral("Recovery Duration")), m_recovery, m_doNotRecover);
    m_rest = new QLineEdit;
    addRow(new QLabel(QStringLiteral("Rest Duration ")), m_rest);
    m_repetitions = new QLineEdit;
    addRow(new QLabel(QStringLiteral("Repetitions")), m_repetitions);

    m_dataOutput = new QComboBox;
    m_dataOutput->addItems({QStringLiteral("All Data (Max 64/phase)"), QStringLiteral("All Data"),
                            QStringLiteral("Peaks Only"), QStringLiteral("None")});
    addRow(new QLabel(QStringLiteral("Data Output")), m_dataOutput,
           new QLabel(QStringLiteral("(Points per Phase)")));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSetParamEditor::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSetParamEditor::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    connect(m_doNotStretch, &QCheckBox::toggled, this, &CSetParamEditor::OnDoNotStretch);
    connect(m_doNotRecover, &QCheckBox::toggled, this, &CSetParamEditor::OnDoNotRecover);
    connect(m_autoAdjust, &QCheckBox::toggled, this, &CSetParamEditor::OnAutoAdjust);

    SetMembers(SetEditValuesFrom(set));
}

void CSetParamEditor::SetMembers(const SetEditValues& values) {
    m_name->setText(QString::fromStdString(values.name));
    SelectText(m_function, values.function);
    SelectText(m_timeUnits, values.timeUnits);
    SelectText(m_dataOutput, values.dataOutput);
    m_magnitude->setText(NumberText(values.magnitude));
    m_preload->setText(NumberText(values.preload));
    m_stretch->setText(NumberText(values.stretch));
    m_hold->setText(NumberText(values.hold));
    m_recovery->setText(NumberText(values.recovery));
    m_rest->setText(NumberText(values.rest));
    m_repetitions->setText(QString::number(values.repetitions));

    // Unticking a radio button of an exclusive group needs the group to let go for a moment.
    const auto setRadio = [this](int index) {
        auto* group = m_adjustSpring->group();
        group->setExclusive(false);
        m_adjustSpring->setChecked(index == 0);
        m_adjustDisplacement->setChecked(index == 1);
        group->setExclusive(true);
    };
    m_autoAdjust->setChecked(values.autoAdjust);
    setRadio(values.adjustIndex);

    if (m_hardware.MembraneStyle == Membrane::Hydrostatic) {
        // A hydrostatic membrane is driven by pressure alone: nothing to adjust automatically.
        m_autoAdjust->setChecked(false);
        m_autoAdjust->setEnabled(false);
        setRadio(-1);
        m_magnitudeLabel->setText(QStringLiteral("Compress Magnitude (MPa)"));
        m_preloadLabel->setText(QStringLiteral("Preload Magnitude (MPa)"));
    }

    m_doNotRecover->setChecked(values.recovery <= 0 || values.doNotRecover);
    m_doNotStretch->setChecked(values.stretch <= 0 || values.doNotStretch);
    OnDoNotStretch(m_doNotStretch->isChecked());
    OnDoNotRecover(m_doNotRecover->isChecked());
    OnAutoAdjust(m_autoAdjust->isChecked());
}

void CSetParamEditor::OnDoNotStretch(bool ticked) {
    if (ticked)
        m_stretch->setText(QStringLiteral("0"));
    m_stretch->setEnabled(!ticked);
}

void CSetParamEditor::OnDoNotRecover(bool ticked) {
    if (ticked)
        m_recovery->setText(QStringLiteral("0"));
    m_recovery->setEnabled(!ticked);
}

void CSetParamEditor::OnAutoAdjust(bool ticked) {
    m_adjustSpring->setEnabled(ticked);
    m_adjustDisplacement->setEnabled(ticked);
}

bool CSetParamEditor::ReadNumber(QLineEdit* box, double& value) {
    bool ok = false;
    value = box->text().trimmed().toDouble(&ok);
    // "inf" and "nan" read as numbers but would slip past every limit.
    if (ok && std::isfinite(value))
        return true;
    m_prompt.ShowMessage(kNotANumberText, MessageIcon::Exclamation);
    box->setFocus();
    box->selectAll();
    return false;
}

bool CSetParamEditor::ReadControls(SetEditValues& values) {
    values.name = m_name->text().left(kMaxSetNameLength).toStdString();
    values.function = SelectedText(m_function);
    values.timeUnits = SelectedText(m_timeUnits);
    values.dataOutput = SelectedText(m_dataOutput);
    values.autoAdjust = m_autoAdjust->isChecked();
    values.adjustIndex =
        m_adjustSpring->isChecked() ? 0 : (m_adjustDisplacement->isChecked() ? 1 : -1);
    values.doNotStretch = m_doNotStretch->isChecked();
    values.doNotRecover = m_doNotRecover->isChecked();
    if (!ReadNumber(m_magnitude, values.magnitude) || !ReadNumber(m_preload, values.preload) ||
        !ReadNumber(m_stretch, values.stretch) || !ReadNumber(m_hold, values.hold) ||
        !ReadNumber(m_recovery, values.recovery) || !ReadNumber(m_rest, values.rest))
        return false;
    bool ok = false;
    const qlonglong repetitions = m_repetitions->text().trimmed().toLongLong(&ok);
    // Negative counts are left to the repetitions rule; counts the set cannot hold are refused.
    if (!ok || repetitions > std::numeric_limits<int32_t>::max()) {
        m_prompt.ShowMessage("Please enter a positive integer.", MessageIcon::Exclamation);
        m_repetitions->setFocus();
        m_repetitions->selectAll();
        return false;
    }
    values.repetitions = repetitions;
    return true;
}

bool CSetParamEditor::TryAccept() {
    SetEditValues values;
    if (!ReadControls(values))
        return false;
    const std::string messages = ValidateSetEdit(values, m_hardware);
    if (!messages.empty()) {
        m_prompt.ShowMessage(messages, MessageIcon::Error);
        return false;
    }
    ApplySetEdit(values, m_set);
    QDialog::accept();
    return true;
}

void CSetParamEditor::accept() {
    TryAccept();
}
