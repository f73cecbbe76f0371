// File Open, File Save and the question before unsaved edits are dropped: the document's
// protocol files, written through AtomicFile and read aside before anything is replaced.
#include "document/KelvastraDoc.h"

#include "common/AtomicFile.h"
#include "document/Settings.h"
#include "protocol/ProtocolTable.h"
#include "protocol/SetEditRules.h"

#include <filesystem>
#include <fstream>

void CKelvastraDoc::OnFileSave(const FileChooser& chooseFile) {
    if (!m_view)
        return;
    // The sequence is the worker's while an action runs.
    if (IsBusy()) {
        Show(kSaveWhileBusy, MessageIcon::Exclamation);
        return;
    }
    if (!m_view->CheckSequence())
        return;
    if (auto path = chooseFile(Settings::TemplateDir()))
        SaveProtocolFile(*path);
}

void CKelvastraDoc::OnFileOpen(const FileChooser& chooseFile) {
    if (!m_view)
        return;
    if (IsBusy()) {
        Show(kOpenWhileBusy, MessageIcon::Exclamation);
        return;
    }
    if (!MaySaveChanges())
        return;
    if (auto path = chooseFile(Settings::TemplateDir()))
        OpenProtocolFile(*path);
}

bool CKelvastraDoc::MaySaveChanges() {
    if (!m_bModified)
        return true;
    MessageAnswer answer = MessageAnswer::No;
    if (m_prompt)
        answer = m_prompt->ShowMessage(kSaveChanges, MessageIcon::Exclamation,
                                       MessageButtons::YesNoCancel);
    if (answer == MessageAnswer::Cancel)
        return false;
    if (answer != MessageAnswer::Yes)
        return true;
    // Saved as File Save saves: the view's sets pass the check first.
    if (!m_view || !m_saveChooser || !m_view->CheckSequence())
        return false;
    const auto path = m_saveChooser(Settings::TemplateDir());
    return path && SaveProtocolFile(*path) == 1;
}

bool CKelvastraDoc::MayExit() {
    if (m_bModified && IsBusy()) {
        Show(kSaveWhileBusy, MessageIcon::Exclamation);
        return false;
    }
    return MaySaveChanges();
}

int CKelvastraDoc::SaveProtocolFile(const std::string& path) {
    Settings::SetTemplateDir(Folders::FolderOf(path));
    std::string text;
    std::string problems;
    {
        std::lock_guard lock(m_dataMutex);
        text = ProtocolTableText(m_sequence);
        problems = SequenceRuleProblems(m_sequence, m_controller.hardware);
    }
    // Written beside the target and renamed, so a full disk never leaves half a protocol.
    std::string error;
    const bool written = WriteFileAtomically(path, text, &error);
    if (written)
        m_bModified = false;
    if (m_view) {
        m_view->ClearMessageArea();
        m_view->AppendMessage(written ? "Protocol File Successfully Saved\n"
                                      : "Error:  Protocol File Could Not Be Saved\n" + path + "\n");
        // Saved all the same: the protocol may be meant for another device.
        if (written && !problems.empty())
            m_view->AppendMessage("Warning:  Program Device will refuse this protocol on the "
                                  "fitted hardware:\n" +
                                  problems);
    }
    return written ? 1 : -1;
}

int CKelvastraDoc::OpenProtocolFile(const std::string& path) {
    Settings::SetTemplateDir(Folders::FolderOf(path));
    std::ifstream in(path, std::ios::binary);
    // A folder opens as a stream on this platform but reads as nothing: it would empty the
    // sequence and call that a success.
    std::error_code ignored;
    if (!in || std::filesystem::is_directory(path, ignored)) {
        if (m_view) {
            m_view->ClearMessageArea();
            m_view->AppendMessage("Error:  Protocol File Could Not Be Opened\n" + path + "\n");
        }
        return -1;
    }
    // Read aside first: a file that holds no protocol leaves everything as it was.
    ProtocolReadResult result;
    SetSequence sequence;
    HardwareDescription hardware;
    {
        std::lock_guard lock(m_dataMutex);
        hardware = m_controller.hardware;
    }
    result = ReadProtocolText(in, sequence, &hardware);
    if (result.noTable) {
        if (m_view) {
            m_view->ClearMessageArea();
            m_view->AppendMessage(ProtocolReadWarning(result) + path + "\n");
        }
        return -1;
    }
    {
        std::lock_guard lock(m_dataMutex);
        m_sequence = std::move(sequence);
        if (result.hardwareBlock) {
            m_controller.hardware = hardware;
            SetLimitsSource(LimitsSource::File, std::filesystem::path(path).filename().string());
            PublishHardware();
        }
    }
    m_bModified = false;
    if (m_view) {
        m_view->RefreshFromDocument();
        m_view->ClearMessageArea();
        m_view->AppendMessage("Protocol File Successfully Opened\n");
        // Whatever was read is shown, but the user learns that the file was not whole.
        const std::string warning = ProtocolReadWarning(result);
        if (!warning.empty())
            m_view->AppendMessage(warning);
    }
    return result.Complete() ? 1 : -1;
}
