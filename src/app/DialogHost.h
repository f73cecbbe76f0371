// Opens the dialogs of the device actions on the GUI thread when the device worker asks for
// them. Each action's dialog is registered by the code that provides it.
#pragma once

#include "document/DialogSession.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>

class CDialogHost : public QObject, public IDialogHost {
    Q_OBJECT
public:
    // Runs the dialog modally, posting its device work to the session; returns whether the user
    // applied a change.
    using Opener = std::function<bool(DialogSession& session, QWidget* parent)>;

    explicit CDialogHost(QWidget* parent = nullptr);
    void SetParentWidget(QWidget* parent) { m_parent = parent; }
    void Register(DeviceAction action, Opener opener);
    bool IsRegistered(DeviceAction action) const { return m_openers.count(action) != 0; }
    bool HasDialog(DeviceAction action) const override { return IsRegistered(action); }

    // Any thread; returns at once. The session is finished when the dialog closes, or at once
    // when no dialog is registered for the action.
    void OpenDialog(DeviceAction action, DialogSession& session) override;

private:
    void Open(DeviceAction action, DialogSession& session);

    QPointer<QWidget> m_parent;
    std::map<DeviceAction, Opener> m_openers;
};
