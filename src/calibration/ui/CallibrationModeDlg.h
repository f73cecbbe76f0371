// Calibration mode: the regulator driven by hand, live averages of the pressure and the nine
// wells with their forces, the position offsets calibrated or reset, and the positions saved to
// the special positions file. With a Hydrostatic membrane only the pressure part is usable.
//
// The dialog lives on the GUI thread; every exchange runs on the device worker through the
// dialog's session while the window keeps painting, the buttons that would start more work
// disabled. Leaving sets the regulator to 0 and pulses the valve.
#pragma once

#include "calibration/CalibrationMode.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

class DialogSession;
class IUserPrompt;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CCallibrationModeDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNotANumber = "Please enter a number.";
    static constexpr const char* kNotAnInteger = "Please enter an integer.";

    // `description` is the controller's (copied): its membrane chooses the layout, its spring
    // the spring model. Special appends to `specialPositions`.
    CCallibrationModeDlg(const HardwareDescription& description, DialogSession& session,
                         IUserPrompt& prompt, std::filesystem::path specialPositions,
                         QWidget* parent = nullptr);

    bool Hydrostatic() const { return m_hydrostatic; }
    bool Busy() const { return m_busy; }
    const SensorFigures& Figures() const { return m_figures; }
    const SetPointControls& SetPoint() const { return m_setPoint; }

    QLineEdit* SetPointEdit() const { return m_entry; }
    QLineEdit* RawSetPointEdit() const { return m_rawSetPoint; }
    QPushButton* PlusButton() const { return m_plus; }
    QPushButton* MinusButton() const { return m_minus; }
    QPushButton* SetButton() const { return m_set; }
    QCheckBox* SpecifyRawBox() const { return m_specifyRaw; }
    QCheckBox* SpecifyMPaBox() const { return m_specifyMPa; }
    QCheckBox* ValveBox() const { return m_valve; }
    QCheckBox* ShowRawBox() const { return m_showRaw; }
    QLineEdit* PressureEdit() const { return m_pressure; }
    QLineEdit* RawPressureEdit() const { return m_rawPressure; }
    QLineEdit* StdDevEdit() const { return m_stdDev; }
    QLineEdit* PositionEdit(int well) const {
        return m_positions[static_cast<std::size_t>(well - 1)];
    }
    QLineEdit* ForceEdit(int well) const { return m_forces[static_cast<std::size_t>(well - 1)]; }
    QLineEdit* AverageForceEdit() const { return m_averageForce; }
    QLineEdit* SpringForceEdit() const { return m_springForce; }
    QLineEdit* AbsolutePositionEdit() const { return m_absolute; }
    QPushButton* QueryButton() const { return m_query; }
    QPushButton* CalibrateButton() const { return m_calibrate; }
    QPushButton* ResetButton() const { return m_reset; }
    QPushButton* SpecialButton() const { return m_special; }
    QPushButton* DoneButton() const { return m_done; }
    QGroupBox* SetPointGroup() const { return m_setPointGroup; }
    QProgressBar* ProgressBar() const { return m_progress; }

public slots:
    void OnSet();
    void OnPlus();
    void OnMinus();
    void OnSpecifyRaw();
    void OnSpecifyMPa();
    void OnValve();
    void OnQuery();
    void OnCalibrate();
    void OnReset();
    void OnSpecial();
    // Done and the cancel key: regulator to 0, valve pulse, close.
    void OnDone();
    void reject() override { OnDone(); }

private:
    // Takes the controls into the members; a field that is not a number says so and keeps its
    // previous value.
    void ReadControls();
    void ShowControls();
    void ShowFigures();
    void ApplySetPointAndRefresh();
    void Refresh();
    // Runs the offset change (`work` returns the failure, if any) and refreshes after it.
    void
    ChangeOffsets(std::function<CalibrationOutcome(ICalibrationDevice&, const ProgressFn&)> work);
    void SetBusy(bool busy);
    void ShowOutcome(const CalibrationOutcome& outcome);

    DialogSession& m_session;
    IUserPrompt& m_prompt;
    std::filesystem::path m_specialPositions;
    bool m_hydrostatic = false;
    SpringModel m_spring;
    SetPointControls m_setPoint;
    int32_t m_rawSetPointValue = 0;
    bool m_valveOpen = true;
    bool m_showRawUnits = false;
    int32_t m_absolutePosition = 0;
    SensorFigures m_figures;
    bool m_busy = false;
    bool m_leaving = false;

    QLineEdit* m_entry = nullptr;
    QLineEdit* m_rawSetPoint = nullptr;
    QPushButton* m_plus = nullptr;
    QPushButton* m_minus = nullptr;
    QPushButton* m_set = nullptr;
    QCheckBox* m_specifyRaw = nullptr;
    QCheckBox* m_specifyMPa = nullptr;
    QCheckBox* m_valve = nullptr;
    QCheckBox* m_showRaw = nullptr;
    QLineEdit* m_pressure = nullptr;
    QLineEdit* m_rawPressure = nullptr;
    QLineEdit* m_stdDev = nullptr;
    std::array<QLineEdit*, kWellCount> m_positions{};
    std::array<QLineEdit*, kWellCount> m_forces{};
    QLineEdit* m_averageForce = nullptr;
    QLineEdit* m_springForce = nullptr;
    QLineEdit* m_absolute = nullptr;
    QPushButton* m_query = nullptr;
    QPushButton* m_calibrate = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_special = nullptr;
    QPushButton* m_done = nullptr;
    QGroupBox* m_setPointGroup = nullptr;
    QProgressBar* m_progress = nullptr;
    // Controls a Hydrostatic membrane leaves without use; they stay disabled.
    std::vector<QWidget*> m_forceOnly;
};

// The dialog host's opener for the Calibration Mode action: takes a copy of the controller's
// description through the session and runs the dialog modally.
bool OpenCalibrationModeDialog(DialogSession& session, QWidget* parent,
                               IUserPrompt* prompt = nullptr);
