#include "app/DocumentBridge.h"

#include "app/ControllerChooser.h"
#include "document/DeviceWorker.h"
#include "document/KelvastraDoc.h"
#include "document/Settings.h"
#include "document/ThreadMailbox.h"
#include "reports/ReportPdf.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

#include <filesystem>

namespace {

const QString kProtocolFilter = QStringLiteral("Kelvastra File (*.tmt)");

// The dialog starts in the folder itself; a folder that does not exist yet (the default
// templates folder before the first save) starts it in the nearest folder above that does,
// instead of taking the folder's name as the file name.
QString StartDirectory(const std::string& startFolder) {
    QString folder = QDir::cleanPath(QString::fromStdString(startFolder));
    while (!folder.isEmpty() && !QDir(folder).exists()) {
        const int cut = folder.lastIndexOf(QLatin1Char('/'));
        folder = cut > 0 ? folder.left(cut) : QString();
    }
    return folder.isEmpty() ? QDir::homePath() : folder;
}

std::optional<std::string> RunFileDialog(QWidget* parent, const std::string& startFolder,
                                         QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, QString(), StartDirectory(startFolder), kProtocolFilter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("tmt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

} // namespace

CDocumentBridge::CDocumentBridge(CKelvastraDoc& document, QWidget* dialogParent)
    : m_document(document), m_dialogParent(dialogParent) {
    // The worker may offer to save before the hardware change clears the sequence: the file
    // dialog then opens on the GUI thread while the worker waits.
    QPointer<QWidget> parent(dialogParent);
    m_document.SetSaveFileChooser([parent](const std::string& folder) {
        return ThreadMailbox::Main().Call([&] { return ChooseSaveFile(parent.data(), folder); });
    });
}

CDocumentBridge::~CDocumentBridge() {
    StopWorker();
    m_document.SetSaveFileChooser({});
}

SetSequence& CDocumentBridge::CommittedSequence() {
    return m_document.m_sequence;
}

// The worker writes the description and the limit while the windows are in use: they read the
// copy it publishes.
HardwareDescription CDocumentBridge::Hardware() const {
    return m_document.PublishedHardware().hardware;
}

float CDocumentBridge::MaxStretchPosMm() const {
    return m_document.PublishedHardware().maxStretchPosMm;
}

void CDocumentBridge::StartWorker() {
    if (m_worker)
        return;
    m_worker = std::make_unique<DeviceWorker>(m_document);
    m_worker->start(QThread::NormalPriority);
}

bool CDocumentBridge::WorkerRunning() const {
    return m_worker && m_worker->isRunning();
}

void CDocumentBridge::StopWorker() {
    if (!m_worker)
        return;
    m_document.RequestWorkerStop();
    m_document.Session().Finish(false);
    // The worker may be waiting for the GUI thread (a message box, the view): keep serving it.
    while (!m_worker->wait(20))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    m_worker.reset();
}

bool CDocumentBridge::OnCommand(int commandId) {
    QWidget* parent = m_dialogParent.data();
    switch (commandId) {
    case ID_FILE_EXPORT_PDF:
        ExportProtocolPdf();
        return true;
    case ID_CONNECTION_INDICATOR:
    case ID_CHOOSE_CONTROLLER:
        // The button asks only when there is a choice to make; the menu always does.
        ChooseController(m_document, PresentControllers(), commandId == ID_CHOOSE_CONTROLLER,
                         parent);
        return true;
    case ID_FILE_OPEN:
    case ID_FILE_SAVE: {
        std::optional<std::string> chosen;
        auto choose = [&](const std::string& folder) {
            chosen = commandId == ID_FILE_OPEN ? ChooseOpenFile(parent, folder)
                                               : ChooseSaveFile(parent, folder);
            return chosen;
        };
        if (commandId == ID_FILE_OPEN)
            m_document.OnFileOpen(choose);
        else
            m_document.OnFileSave(choose);
        NoteRecentFile(chosen);
        return true;
    }
    default:
        break;
    }
    const int recent = commandId - ID_FILE_MRU_FILE1;
    if (recent >= 0 && recent < Settings::kRecentFileCount) {
        const std::vector<std::string> files = Settings::RecentFiles();
        if (static_cast<size_t>(recent) < files.size())
            OpenFile(files[static_cast<size_t>(recent)]);
        return true;
    }
    return m_document.OnCommand(commandId);
}

void CDocumentBridge::OpenFile(const std::string& path) {
    std::optional<std::string> used;
    m_document.OnFileOpen([&](const std::string&) { return used = path; });
    NoteRecentFile(used);
}

void CDocumentBridge::NoteRecentFile(const std::optional<std::string>& path) {
    if (!path)
        return;
    // A file that is there after Open or Save heads the list; a vanished one leaves it.
    std::error_code error;
    if (std::filesystem::is_regular_file(*path, error))
        Settings::AddRecentFile(*path);
    else
        Settings::RemoveRecentFile(*path);
}

void CDocumentBridge::ExportProtocolPdf() {
    QWidget* parent = m_dialogParent.data();
    // What is printed is what File Save would write: the view's sets, checked.
    if (m_document.IsBusy() || !m_document.View() || !m_document.View()->CheckSequence())
        return;
    const QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Export Protocol as PDF"),
        QString::fromStdString(Settings::TemplateDir()), QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    ProtocolPrintout printout;
    printout.name = std::filesystem::path(path.toStdString()).stem().string();
    printout.sequence = CommittedSequence();
    printout.hardware = Hardware();
    std::string error;
    if (!WriteProtocolPdf(printout, path.toStdString(), error))
        QMessageBox::critical(parent, QStringLiteral("Kelvastra"),
                              QStringLiteral("Error:  ") + QString::fromStdString(error));
}

bool CDocumentBridge::IsCommandEnabled(int commandId) const {
    if (commandId == ID_CHOOSE_CONTROLLER)
        return true; // the choice only steers the watch
    if (commandId == ID_FILE_EXPORT_PDF)
        return m_document.IsCommandEnabled(ID_FILE_SAVE);
    const int recent = commandId - ID_FILE_MRU_FILE1;
    if (recent >= 0 && recent < Settings::kRecentFileCount)
        return m_document.IsCommandEnabled(ID_FILE_OPEN);
    return m_document.IsCommandEnabled(commandId);
}

std::string CDocumentBridge::ActivityText() const {
    return m_document.ActivityText();
}

std::string CDocumentBridge::TestStatusText() const {
    return m_document.TestStatusText();
}

std::string CDocumentBridge::LinkStatusText() const {
    return m_document.LinkStatusText();
}

void CDocumentBridge::MarkModified() {
    m_document.m_bModified = true;
}

bool CDocumentBridge::MayClose() {
    return m_document.MayExit();
}

std::optional<std::string> CDocumentBridge::ChooseOpenFile(QWidget* parent,
                                                           const std::string& startFolder) {
    return RunFileDialog(parent, startFolder, QFileDialog::AcceptOpen);
}

std::optional<std::string> CDocumentBridge::ChooseSaveFile(QWidget* parent,
                                                           const std::string& startFolder) {
    return RunFileDialog(parent, startFolder, QFileDialog::AcceptSave);
}
