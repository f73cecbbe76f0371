#include "app/KelvastraApp.h"

#include "app/ChildFrame.h"
#include "app/DeviceDialogs.h"
#include "app/DialogHost.h"
#include "app/DocumentBridge.h"
#include "app/MainFrame.h"
#include "app/ToolbarArt.h"
#include "controls/WidgetPrompt.h"
#include "document/KelvastraDoc.h"
#include "document/Settings.h"
#include "document/ThreadMailbox.h"
#include "protocol/ui/StageView.h"

CKelvastraApp::CKelvastraApp(int& argc, char** argv) : QApplication(argc, argv) {
    // The settings store is QSettings("Fenwarde", "Kelvastra").
    setOrganizationName(QStringLiteral("Fenwarde"));
    setApplicationName(QStringLiteral("Kelvastra"));
    setApplicationVersion(QStringLiteral(KELVASTRA_VERSION));
    setDesktopFileName(QStringLiteral("kelvastra"));
    setProperty("appId", QString::fromLatin1(kAppId));
    setWindowIcon(ToolbarArt::AppIcon());
}

CKelvastraApp::~CKelvastraApp() {
    ExitInstance(0);
}

bool CKelvastraApp::InitInstance() {
    m_prompt = std::make_unique<CWidgetPrompt>();
    m_dialogHost = std::make_unique<CDialogHost>();

    m_mainFrame = std::make_unique<CMainFrame>();
    m_prompt->SetParentWidget(m_mainFrame.get());
    m_dialogHost->SetParentWidget(m_mainFrame.get());

    // The one document, its frame and its view.
    m_document = std::make_unique<CKelvastraDoc>();
    m_document->SetControllerChoice(Settings::ChosenController());
    m_bridge = std::make_unique<CDocumentBridge>(*m_document, m_mainFrame.get());
    auto* child = new CChildFrame;
    m_view = new CStageView(*m_bridge, *m_prompt);
    child->SetView(m_view);
    m_mainFrame->SetChildFrame(child);

    m_document->SetView(m_view);
    m_document->SetPrompt(m_prompt.get());
    m_document->SetDialogHost(m_dialogHost.get());
    RegisterDeviceDialogs(*m_dialogHost, *m_prompt);
    QPointer<CMainFrame> frame(m_mainFrame.get());
    const auto update = [frame] {
        ThreadMailbox::Main().Post([frame] {
            if (frame)
                frame->UpdateCommandStates();
        });
    };
    m_document->SetConnectionListener([update](bool) { update(); });
    m_document->SetActivityListener(update);
    m_mainFrame->SetCommandTarget(m_bridge.get());
    // Protocols can be designed before the controller is plugged in: against the limits of the
    // one connected last.
    m_document->UseRememberedController();

    // The view's first update fills it from the document and starts the device worker.
    m_view->InitialUpdate();

    m_mainFrame->ScaleToDisplay();
    m_mainFrame->show();
    m_mainFrame->CreateToolBar();
    return true;
}

void CKelvastraApp::OpenFile(const std::string& path) {
    if (m_bridge)
        m_bridge->OpenFile(path);
}

int CKelvastraApp::ExitInstance(int exitCode) {
    if (m_bridge)
        m_bridge->StopWorker();
    if (m_document) {
        m_document->SetView(nullptr);
        m_document->SetPrompt(nullptr);
        m_document->SetDialogHost(nullptr);
        m_document->SetConnectionListener({});
        m_document->SetActivityListener({});
    }
    m_mainFrame.reset();
    m_view = nullptr;
    m_bridge.reset();
    m_document.reset();
    return exitCode;
}
