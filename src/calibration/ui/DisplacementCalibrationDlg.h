// The displacement calibration dialog: collect readings at spacer heights, analyse them into a
// quadratic per well, apply the factors to the controller, and export, import, read back or
// restore calibrations. The factory controls (raw pressure output, the factory copy) show only
// with factory access.
//
// The dialog and its calibration state live on the GUI thread; every exchange with the
// controller runs on the device worker through the dialog's session while the window keeps
// painting, with the buttons that would start other work disabled.
#pragma once

#include "calibration/DisplacementCalibration.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class CReportCtrl;
class DialogSession;
class IUserPrompt;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

class CDisplacementCalibrationDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kInstructions =
        "1. Assemble system for calibration using provided materials.\r\n2. Collect data 3 "
        "times at 3 unique depths.\r\n   a. Ensure that the current depth has been entered into "
        "the Position field \r\n       and that it matches the label on the provided spacer "
        "bag.\r\n   b. Rotate shuttles between each data collection.\r\n3. Analyze collected "
        "data to generate calibration factors.\r\n4. Apply newly generated calibration factors "
        "to Device.\r\n   a. Export all collected calibration data and factors to a local "
        "backup.";
    static constexpr const char* kNotes =
        "For complete instructions on how to perform the displacement calibration \r\nprocedure "
        "please refer to the Kelvastra User Manual - Appendix E.";
    static constexpr const char* kNotAnInteger = "Please enter an integer.";
    // Room for the window frame and a task bar on a 1366 x 768 screen.
    static constexpr int kPreferredHeight = 660;

    // Asks for the file to import, starting in the given folder; nothing on cancel.
    using FileChooser = std::function<std::optional<std::string>(const std::string& startFolder)>;

    CDisplacementCalibrationDlg(DialogSession& session, IUserPrompt& prompt,
                                CalibrationFolders folders, bool factoryAccess,
                                QWidget* parent = nullptr);

    QSize sizeHint() const override;
    void SetImportChooser(FileChooser chooser) { m_chooseImport = std::move(chooser); }
    const DisplacementCalibration& Calibration() const { return m_calibration; }
    bool Busy() const { return m_busy; }

    QLineEdit* PositionEdit() const { return m_position; }
    CReportCtrl* DataList() const { return m_dataList; }
    CReportCtrl* FactorList() const { return m_factorList; }
    QLineEdit* StatusText() const { return m_status; }
    QPlainTextEdit* InstructionsText() const { return m_instructions; }
    QPlainTextEdit* NotesText() const { return m_notes; }
    QPushButton* CollectButton() const { return m_collect; }
    QPushButton* AnalyzeButton() const { return m_analyze; }
    QPushButton* ApplyButton() const { return m_apply; }
    QPushButton* ExportButton() const { return m_export; }
    QPushButton* ImportButton() const { return m_import; }
    QPushButton* DeleteRowsButton() const { return m_deleteRows; }
    QPushButton* DeleteAllButton() const { return m_deleteAll; }
    QPushButton* RestoreButton() const { return m_restore; }
    QPushButton* ReadDeviceButton() const { return m_readDevice; }
    QPushButton* WriteFactoryButton() const { return m_writeFactory; }
    QPushButton* CollectRawButton() const { return m_collectRaw; }
    QPushButton* DoneButton() const { return m_done; }
    QLineEdit* RawPressureEdit() const { return m_rawPressure; }
    QLineEdit* RawSizeEdit() const { return m_rawSize; }
    QLineEdit* RawSensorEdit() const { return m_rawSensor; }
    QWidget* FactoryControls() const { return m_factoryBox; }
    QProgressBar* ProgressBar() const { return m_progress; }

public slots:
    void OnCollect();
    void OnDeleteRows();
    void OnDeleteAll();
    void OnAnalyze();
    void OnExport();
    void OnApply();
    void OnImport();
    void OnRestoreToFactory();
    void OnReadDeviceCalibrations();
    void OnWriteFactoryCalibrations();
    void OnCollectRawOutput();
    // Closing is refused while device work runs.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Apply(bool factory);
    void ShowCalibration();
    void Show(const CalibrationOutcome& outcome);
    void SetBusy(bool busy);
    bool ReadInteger(QLineEdit* edit, int& value);

    DialogSession& m_session;
    IUserPrompt& m_prompt;
    CalibrationFolders m_folders;
    DisplacementCalibration m_calibration;
    FileChooser m_chooseImport;
    bool m_busy = false;

    QLineEdit* m_position = nullptr;
    CReportCtrl* m_dataList = nullptr;
    CReportCtrl* m_factorList = nullptr;
    QLineEdit* m_status = nullptr;
    QPlainTextEdit* m_instructions = nullptr;
    QPlainTextEdit* m_notes = nullptr;
    QPushButton* m_collect = nullptr;
    QPushButton* m_deleteRows = nullptr;
    QPushButton* m_deleteAll = nullptr;
    QPushButton* m_analyze = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_import = nullptr;
    QPushButton* m_restore = nullptr;
    QPushButton* m_readDevice = nullptr;
    QPushButton* m_writeFactory = nullptr;
    QPushButton* m_collectRaw = nullptr;
    QPushButton* m_done = nullptr;
    QLineEdit* m_rawPressure = nullptr;
    QLineEdit* m_rawSize = nullptr;
    QLineEdit* m_rawSensor = nullptr;
    QWidget* m_factoryBox = nullptr;
    QProgressBar* m_progress = nullptr;
};

class CKelvastraDoc;
// The dialog host's opener for the Displacement Calibration action: reads (and writes back) the
// factory access setting, runs the dialog modally. Messages go to `prompt`, or to message boxes
// over the dialog when it is null.
bool OpenDisplacementCalibrationDialog(DialogSession& session, QWidget* parent,
                                       IUserPrompt* prompt = nullptr);
