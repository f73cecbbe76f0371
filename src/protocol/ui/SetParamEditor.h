// The modal "Set Parameter Editor": edits one set (the caller's copy) within the limits of the
// fitted hardware. OK writes the values only when every rule passes; otherwise all failures are
// shown together and the dialog stays open.
#pragma once

#include "document/ViewInterfaces.h"
#include "protocol/SetEditRules.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class CSetParamEditor : public QDialog {
    Q_OBJECT
public:
    CSetParamEditor(SetRecord& set, const HardwareDescription& hardware, IUserPrompt& prompt,
                    QWidget* parent = nullptr);

    // The members shown when the dialog opens; the caller fills them from the set first.
    void SetMembers(const SetEditValues& values);
    // Reads the controls. False (after telling the user) when a box does not hold a number.
    bool ReadControls(SetEditValues& values);

    // What OK does: true when the set was written and the dialog closed.
    bool TryAccept();
    void accept() override;

    QLineEdit* NameEdit() const { return m_name; }
    QComboBox* FunctionList() const { return m_function; }
    QLineEdit* MagnitudeEdit() const { return m_magnitude; }
    QLineEdit* PreloadEdit() const { return m_preload; }
    QCheckBox* AutoAdjustCheck() const { return m_autoAdjust; }
    QRadioButton* SpringRadio() const { return m_adjustSpring; }
    QRadioButton* DisplacementRadio() const { return m_adjustDisplacement; }
    QComboBox* TimeUnitsList() const { return m_timeUnits; }
    QLineEdit* StretchEdit() const { return m_stretch; }
    QCheckBox* DoNotStretchCheck() const { return m_doNotStretch; }
    QLineEdit* HoldEdit() const { return m_hold; }
    QLineEdit* RecoveryEdit() const { return m_recovery; }
    QCheckBox* DoNotRecoverCheck() const { return m_doNotRecover; }
    QLineEdit* RestEdit() const { return m_rest; }
    QLineEdit* RepetitionsEdit() const { return m_repetitions; }
    QComboBox* DataOutputList() const { return m_dataOutput; }
    QLabel* MagnitudeLabel() const { return m_magnitudeLabel; }
    QLabel* PreloadLabel() const { return m_preloadLabel; }

private:
    void OnDoNotStretch(bool ticked);
    void OnDoNotRecover(bool ticked);
    void OnAutoAdjust(bool ticked);
    bool ReadNumber(QLineEdit* box, double& value);

    SetRecord& m_set;
    // Its own copy: the device worker may rewrite the document's while the dialog is open.
    const HardwareDescription m_hardware;
    IUserPrompt& m_prompt;

    QLineEdit* m_name = nullptr;
    QComboBox* m_function = nullptr;
    QLabel* m_magnitudeLabel = nullptr;
    QLineEdit* m_magnitude = nullptr;
    QLabel* m_preloadLabel = nullptr;
    QLineEdit* m_preload = nullptr;
    QCheckBox* m_autoAdjust = nullptr;
    QRadioButton* m_adjustSpring = nullptr;
    QRadioButton* m_adjustDisplacement = nullptr;
    QComboBox* m_timeUnits = nullptr;
    QLineEdit* m_stretch = nullptr;
    QCheckBox* m_doNotStretch = nullptr;
    QLineEdit* m_hold = nullptr;
    QLineEdit* m_recovery = nullptr;
    QCheckBox* m_doNotRecover = nullptr;
    QLineEdit* m_rest = nullptr;
    QLineEdit* m_repetitions = nullptr;
    QComboBox* m_dataOutput = nullptr;
};
