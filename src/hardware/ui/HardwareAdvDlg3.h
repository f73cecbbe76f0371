// The hardware settings dialog: which membrane, calibration-well spring, magnet and regulator are
// fitted and how deep the wells are. Program writes the description to the card as INFOW.INI,
// has the controller take it, and replaces the controller's test program by an empty one (a
// program made for other hardware would drive it with the wrong set points).
//
// The dialog lives on the GUI thread and edits a copy of the description; the Program steps
// (ProgramHardware) run on the device worker as one piece of work posted through the session.
#pragma once

#include "document/ControllerHardware.h"
#include "hardware/HardwareDescription.h"

#include <QDialog>

#include <string>
#include <vector>

class DialogSession;
class IUserPrompt;
class QComboBox;
class QLineEdit;
class QPushButton;

// --- the dialog's logic, without a window ------------------------------------------------------

// The shown names the user picked and the well depth.
struct HardwareSelections {
    std::string membrane;
    std::string spring;
    std::string magnet;
    std::string regulator;
    double wellDepthMm = 18.5;
};

// Index of the entry that reads exactly `name`; the first entry (0) when none does.
int DialogEntryIndex(const std::vector<std::string>& entries, const std::string& name);
// What the dialog selects when it opens for `description`: a value the lists do not offer
// (A1_32, an invalid value) shows as the first entry.
HardwareSelections SelectionsFromHardware(const HardwareDescription& description);
// `base` with the five edited fields taken from the selections; a name no list knows (nothing
// selected included) gives that vocabulary's invalid value.
HardwareDescription HardwareFromSelections(const HardwareDescription& base,
                                           const HardwareSelections& selections);
// Well depth less the height offset.
double IdealSpecimenHeight(const HardwareDescription& description, double wellDepthMm);

// --- the dialog ----------------------------------------------------------------------------

class CHardwareAdvDlg3 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNotANumber = "Please enter a number.";
    static constexpr const char* kDeviceGone =
        "Error:  The device is no longer available; the hardware settings were not written.\n";

    // `description` is copied. Program posts its work to `session`, which runs it with the
    // controller.
    CHardwareAdvDlg3(const HardwareDescription& description, DialogSession& session,
                     IUserPrompt& prompt, QWidget* parent = nullptr);

    // True once a Program has changed the controller's description (even when a later step
    // failed and the dialog was then cancelled): the sequence made for the old hardware is stale.
    bool Applied() const { return m_bApplied; }
    // True while Program's work is on the worker.
    bool Busy() const { return m_bBusy; }
    // The copy being edited; after a Program that reached the card, with the values it wrote.
    const HardwareDescription& Description() const { return m_description; }
    // The current selections and the last valid well depth.
    HardwareSelections Selections() const;

    QLineEdit* WellDepthEdit() const { return m_wellDepthEdit; }
    QLineEdit* IdealHeightEdit() const { return m_idealHeightEdit; }
    QLineEdit* HardwareIdEdit() const { return m_hardwareIdEdit; }
    QComboBox* MembraneList() const { return m_membraneList; }
    QComboBox* SpringList() const { return m_springList; }
    QComboBox* MagnetList() const { return m_magnetList; }
    QComboBox* RegulatorList() const { return m_regulatorList; }
    QPushButton* ProgramButton() const { return m_programButton; }
    QPushButton* CancelButton() const { return m_cancelButton; }

public slots:
    void OnProgram();
    // The well depth box lost the focus: take its value and show the ideal height for it.
    void OnKillFocusWellDepth();
    // Closing is refused while Program's work runs.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Takes the well depth from its box; a text that is not a number is refused with the usual
    // message and the last valid value stays. Returns false when the text was refused.
    bool ReadWellDepth();
    void ShowFields();
    void OnProgramDone(const HardwareProgramResult& result, const HardwareDescription& programmed);
    void SetBusy(bool busy);

    HardwareDescription m_description;
    DialogSession& m_session;
    IUserPrompt& m_prompt;
    double m_fWellDepth = 0.0;
    double m_fIdealHeight = 0.0;
    bool m_bApplied = false;
    bool m_bBusy = false;
    bool m_bValidating = false;

    QLineEdit* m_wellDepthEdit = nullptr;
    QLineEdit* m_idealHeightEdit = nullptr;
    QLineEdit* m_hardwareIdEdit = nullptr;
    QComboBox* m_membraneList = nullptr;
    QComboBox* m_springList = nullptr;
    QComboBox* m_magnetList = nullptr;
    QComboBox* m_regulatorList = nullptr;
    QPushButton* m_programButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

// The dialog host's opener for the Hardware Settings action: takes a copy of the controller's
// description through the session, runs the dialog modally and returns whether the description
// was changed. Messages go to `prompt`, or to message boxes over the dialog when it is null.
bool OpenHardwareSettingsDialog(DialogSession& session, QWidget* parent,
                                IUserPrompt* prompt = nullptr);
