#include "app/DeviceDialogs.h"

#include "app/DialogHost.h"
#include "calibration/ui/CallibrationModeDlg.h"
#include "calibration/ui/DisplacementCalibrationDlg.h"
#include "document/DeviceAction.h"
#include "hardware/ui/HardwareAdvDlg3.h"
#include "recordings/ui/AccessTestDataDlg.h"

void RegisterDeviceDialogs(CDialogHost& host, IUserPrompt& prompt) {
    // The opener copies the description on the worker, which owns the controller.
    host.Register(DeviceAction::HardwareSettings,
                  [&prompt](DialogSession& session, QWidget* parent) {
                      return OpenHardwareSettingsDialog(session, parent, &prompt);
                  });
    host.Register(DeviceAction::CalibrationMode,
                  [&prompt](DialogSession& session, QWidget* parent) {
                      return OpenCalibrationModeDialog(session, parent, &prompt);
                  });
    host.Register(DeviceAction::DisplacementCalibration,
                  [&prompt](DialogSession& session, QWidget* parent) {
                      return OpenDisplacementCalibrationDialog(session, parent, &prompt);
                  });
    host.Register(DeviceAction::AccessTestData, [&prompt](DialogSession& session, QWidget* parent) {
        return OpenAccessTestDataDialog(session, parent, &prompt);
    });
}
