// Joins the document to the windows: the sequence view's needs, the menu commands (with the
// protocol file dialogs) and the device worker's thread.
#pragma once

#include "app/CommandTarget.h"
#include "protocol/ui/StageDocument.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class CKelvastraDoc;
class DeviceWorker;

class CDocumentBridge : public IStageDocument, public ICommandTarget {
public:
    CDocumentBridge(CKelvastraDoc& document, QWidget* dialogParent);
    ~CDocumentBridge() override;

    // IStageDocument
    SetSequence& CommittedSequence() override;
    HardwareDescription Hardware() const override;
    float MaxStretchPosMm() const override;
    void StartWorker() override;
    void MarkModified() override;

    // ICommandTarget
    bool OnCommand(int commandId) override;
    bool IsCommandEnabled(int commandId) const override;
    std::string ActivityText() const override;
    std::string TestStatusText() const override;
    std::string LinkStatusText() const override;
    bool MayClose() override;

    // Ends the worker while the GUI thread keeps serving what the worker may be waiting for.
    void StopWorker();
    bool WorkerRunning() const;

    // Opens a protocol file as File Open does once the path is chosen (a recent file, the file
    // named on the command line).
    void OpenFile(const std::string& path);

    // The protocol file dialogs, starting in `startFolder`.
    static std::optional<std::string> ChooseOpenFile(QWidget* parent,
                                                     const std::string& startFolder);
    static std::optional<std::string> ChooseSaveFile(QWidget* parent,
                                                     const std::string& startFolder);

private:
    // File > Export Protocol as PDF: the view's sets, checked as for a save, on one page.
    void ExportProtocolPdf();
    // Keeps the recent-file list in step after an Open or Save of `path`.
    void NoteRecentFile(const std::optional<std::string>& path);

    CKelvastraDoc& m_document;
    QPointer<QWidget> m_dialogParent;
    std::unique_ptr<DeviceWorker> m_worker;
};
