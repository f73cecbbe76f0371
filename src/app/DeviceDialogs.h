// The dialogs the device worker opens for the Hardware commands, registered with the dialog host.
#pragma once

class CDialogHost;
class IUserPrompt;

void RegisterDeviceDialogs(CDialogHost& host, IUserPrompt& prompt);
