// Where the menus and the toolbar send their commands, and the rule that enables them.
#pragma once

#include <string>

class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    // Runs the handler of `commandId`; false when nothing handles it.
    virtual bool OnCommand(int commandId) = 0;
    virtual bool IsCommandEnabled(int commandId) const = 0;
    // What the device is busy with, for the status bar; empty when idle.
    virtual std::string ActivityText() const { return {}; }
    // How far the controller's test is, for the status bar; empty while none runs.
    virtual std::string TestStatusText() const { return {}; }
    // The link and where the set limits come from, for the status bar.
    virtual std::string LinkStatusText() const { return {}; }
    // Asked before the main window closes: false keeps it open (unsaved work the user keeps).
    virtual bool MayClose() { return true; }
};
