// The dialogs the device worker opens for the Hardware commands, registered with the dialog host.
#pragma once

class CDialogHost;
class CKelvastraDoc;
class IUserPrompt;

void RegisterDeviceDialogs(CDialogHost& host, CKelvastraDoc& document, IUserPrompt& prompt);
