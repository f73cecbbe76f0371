// The application object: start-up builds the main window, the one document with its view, and
// starts the device worker; exit stops the worker before the windows go.
#pragma once

#include <QApplication>

#include <memory>
#include <string>

class CChildFrame;
class CDialogHost;
class CDocumentBridge;
class CKelvastraDoc;
class CMainFrame;
class CStageView;
class CWidgetPrompt;

class CKelvastraApp : public QApplication {
    Q_OBJECT
public:
    static constexpr const char* kAppId = "Kelvastra.AppID.NoVersion";

    CKelvastraApp(int& argc, char** argv);
    ~CKelvastraApp() override;

    // Builds and shows everything; false when start-up fails.
    bool InitInstance();
    // Opens a protocol file as File Open does (the file named on the command line).
    void OpenFile(const std::string& path);
    // Stops the worker and releases the document; returns `exitCode`.
    int ExitInstance(int exitCode);

    CMainFrame* MainFrame() const { return m_mainFrame.get(); }
    CStageView* View() const { return m_view; }
    CKelvastraDoc* Document() const { return m_document.get(); }
    CDialogHost* DialogHost() const { return m_dialogHost.get(); }
    CWidgetPrompt* Prompt() const { return m_prompt.get(); }

private:
    std::unique_ptr<CWidgetPrompt> m_prompt;
    std::unique_ptr<CDialogHost> m_dialogHost;
    std::unique_ptr<CMainFrame> m_mainFrame;
    std::unique_ptr<CKelvastraDoc> m_document;
    std::unique_ptr<CDocumentBridge> m_bridge;
    CStageView* m_view = nullptr; // owned by the child frame
};
