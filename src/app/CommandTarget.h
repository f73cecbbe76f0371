// Where the menus and the toolbar send their commands, and the rule that enables them.
#pragma once

class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    // Runs the handler of `commandId`; false when nothing handles it.
    virtual bool OnCommand(int commandId) = 0;
    virtual bool IsCommandEnabled(int commandId) const = 0;
};
