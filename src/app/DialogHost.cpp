#include "app/DialogHost.h"

#include "document/ThreadMailbox.h"

CDialogHost::CDialogHost(QWidget* parent) : QObject(nullptr), m_parent(parent) {}

void CDialogHost::Register(DeviceAction action, Opener opener) {
    m_openers[action] = std::move(opener);
}

void CDialogHost::OpenDialog(DeviceAction action, DialogSession& session) {
    // Always queued, even on the GUI thread: the caller expects to return before the dialog runs.
    ThreadMailbox::Main().Post([this, action, &session] { Open(action, session); });
}

void CDialogHost::Open(DeviceAction action, DialogSession& session) {
    const auto found = m_openers.find(action);
    if (found == m_openers.end()) {
        session.Finish(false);
        return;
    }
    const bool applied = found->second(session, m_parent.data());
    session.Finish(applied);
}
