#include "app/DeviceDialogs.h"

#include "app/DialogHost.h"
#include "document/DeviceAction.h"
#include "document/KelvastraDoc.h"
#include "hardware/ui/HardwareAdvDlg3.h"

void RegisterDeviceDialogs(CDialogHost& host, CKelvastraDoc& document, IUserPrompt& prompt) {
    host.Register(DeviceAction::HardwareSettings,
                  [&document, &prompt](DialogSession& session, QWidget* parent) {
                      CHardwareAdvDlg3 dialog(document.m_controller.hardware, session,
                                              document.m_deviceProgram, prompt, parent);
                      dialog.exec();
                      return dialog.Applied();
                  });
}
