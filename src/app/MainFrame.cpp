#include "app/MainFrame.h"

#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/CommandTarget.h"
#include "app/DoctorDlg.h"
#include "app/KeyboardLocks.h"
#include "app/ToolbarArt.h"
#include "controls/MyToolBar.h"
#include "devicelink/TrafficRecorder.h"
#include "document/DeviceAction.h"
#include "document/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>
#include <system_error>

namespace {

// Ids whose state follows the document's enable rule.
constexpr int kRuledCommands[] = {
    ID_READ_DEVICE,       ID_PROGRAM_DEVICE,   ID_HARDWARE_SETTINGS,        ID_CONNECTION_INDICATOR,
    ID_CALIBRATION_MODE,  ID_ACCESS_TEST_DATA, ID_DISPLACEMENT_CALIBRATION, ID_FILE_OPEN,
    ID_FILE_SAVE,         ID_FILE_MRU_FILE1,   ID_FILE_MRU_FILE1 + 1,       ID_FILE_MRU_FILE1 + 2,
    ID_FILE_MRU_FILE1 + 3};

// How often the enable rule is applied while the program is idle.
constexpr int kCommandUpdateMs = 200;

} // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    // A caption with the system menu and close box only: no sizing, no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Kelvastra"));
    setWindowIcon(ToolbarArt::AppIcon());
    setFixedSize(kMainFrameSize);
    m_displayScale = logicalDpiX() / 96.0;

    CreateMenus();
    CreateStatusBar();

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateCommandStates);
    connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
    connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateTestStatus);
    timer->start(kCommandUpdateMs);
    UpdateCommandStates();
    UpdateIndicators();
}

CMainFrame::~CMainFrame() {
    if (m_busyPointer)
        QApplication::restoreOverrideCursor();
}

QAction* CMainFrame::MakeAction(int id, const QString& text, const QString& prompt,
                                const QString& tip) {
    auto* action = new QAction(text, this);
    action->setData(id);
    if (!prompt.isEmpty())
        action->setStatusTip(prompt);
    if (!tip.isEmpty())
        action->setToolTip(tip);
    connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
    m_actions[id] = action;
    return action;
}

void CMainFrame::CreateMenus() {
    QAction* open = MakeAction(ID_FILE_OPEN, QStringLiteral("&Open..."),
                               QStringLiteral("Open Protocol File"), QStringLiteral("Open"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* save = MakeAction(ID_FILE_SAVE, QStringLiteral("&Save"),
                               QStringLiteral("Save As Protocol File"), QStringLiteral("Save"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction* exportPdf = MakeAction(ID_FILE_EXPORT_PDF, QStringLiteral("Export Protocol as PDF..."),
                                    QStringLiteral("Write the protocol as a one-page PDF"));
    QAction* exit = MakeAction(ID_APP_EXIT, QStringLiteral("E&xit"));

    QAction* read =
        MakeAction(ID_READ_DEVICE, QStringLiteral("Read Device"),
                   QStringLiteral("Read Kelvastra Device"), QStringLiteral("Read Device"));
    QAction* program =
        MakeAction(ID_PROGRAM_DEVICE, QStringLiteral("Program Device"),
                   QStringLiteral("Program Kelvastra Device"), QStringLiteral("Program Device"));
    QAction* testData = MakeAction(ID_ACCESS_TEST_DATA, QStringLiteral("Access Test Data"), {},
                                   QStringLiteral("Access Test Data"));
    QAction* calibration = MakeAction(ID_CALIBRATION_MODE, QStringLiteral("Calibration Mode"), {},
                                      QStringLiteral("Calibration Mode"));
    QAction* settings = MakeAction(ID_HARDWARE_SETTINGS, QStringLiteral("Settings"));
    QAction* displacement =
        MakeAction(ID_DISPLACEMENT_CALIBRATION, QStringLiteral("Displacement Calibration"));
    QAction* about = MakeAction(ID_APP_ABOUT, QStringLiteral("&About Kelvastra..."));
    QAction* notFound = MakeAction(
        ID_HELP_CONTROLLER_NOT_FOUND, QStringLiteral("Why is the controller not found?"),
        QStringLiteral("Check the board, its serial device, access rights and simulators"));

    // The connection indicator is a toolbar button only; with several controllers present it
    // opens the chooser (ChooseController), as the Hardware menu's entry does.
    QAction* indicator = MakeAction(
        ID_CONNECTION_INDICATOR, QStringLiteral("Device"),
        QStringLiteral(
            "Ensure that the device is powered on and all cables are properly connected"),
        QStringLiteral(
            "Ensure that the device is powered on and all cables are properly connected"));
    Q_UNUSED(indicator);
    QAction* chooseController =
        MakeAction(ID_CHOOSE_CONTROLLER, QStringLiteral("Choose Controller..."),
                   QStringLiteral("Choose which of the controllers on this computer to use"));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(open);
    file->addAction(save);
    file->addAction(exportPdf);
    m_recentSeparator = file->addSeparator();
    for (int i = 0; i < Settings::kRecentFileCount; ++i)
        file->addAction(MakeAction(ID_FILE_MRU_FILE1 + i, QString()));
    file->addSeparator();
    file->addAction(exit);
    connect(file, &QMenu::aboutToShow, this, &CMainFrame::UpdateRecentFiles);
    UpdateRecentFiles();

    QMenu* hardware = menuBar()->addMenu(QStringLiteral("&Hardware"));
    hardware->addAction(read);
    hardware->addAction(program);
    hardware->addAction(testData);
    hardware->addAction(calibration);
    QMenu* advanced = hardware->addMenu(QStringLiteral("Advanced"));
    advanced->addAction(settings);
    advanced->addAction(displacement);
    // Not a device command: it may be switched on before the controller is plugged in.
    hardware->addSeparator();
    hardware->addAction(chooseController);
    m_recordTraffic = hardware->addAction(QStringLiteral("Record Serial Traffic"));
    m_recordTraffic->setCheckable(true);
    m_recordTraffic->setStatusTip(
        QStringLiteral("Record every byte sent to and received from the controller in ") +
        QString::fromStdString(Folders::SerialTrafficRecord()));
    connect(m_recordTraffic, &QAction::toggled, this, &CMainFrame::OnRecordSerialTraffic);
    m_recordTraffic->setChecked(Settings::RecordSerialTraffic());

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(notFound);
    help->addAction(about);

    for (QMenu* menu : {file, hardware, advanced})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    m_activity = new QLabel;
    m_activity->setObjectName(QStringLiteral("ActivityLabel"));
    bar->addWidget(m_activity, 1);
    m_testStatus = new QLabel;
    m_testStatus->setObjectName(QStringLiteral("TestStatusLabel"));
    bar->addWidget(m_testStatus);
    m_link = new QLabel;
    m_link->setObjectName(QStringLiteral("LinkLabel"));
    bar->addPermanentWidget(m_link);
    const QStringList texts{QStringLiteral("CAP"), QStringLiteral("NUM"), QStringLiteral("SCRL")};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i] = new QLabel(texts[i]);
        m_indicators[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_indicators[i]->setAlignment(Qt::AlignCenter);
        m_indicators[i]->setMinimumWidth(
            m_indicators[i]->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 10);
        bar->addPermanentWidget(m_indicators[i]);
        // The lock states cannot be asked of every platform; an indicator is lit when known.
        SetIndicator(i, false);
    }
}

void CMainFrame::UpdateIndicators() {
    const auto locks = KeyboardLockStates();
    for (int i = 0; i < 3; ++i)
        SetIndicator(i, locks && (*locks)[static_cast<size_t>(i)]);
}

QLabel* CMainFrame::Indicator(int index) const {
    return index >= 0 && index < 3 ? m_indicators[index] : nullptr;
}

void CMainFrame::SetIndicator(int index, bool on) {
    if (QLabel* label = Indicator(index))
        label->setEnabled(on);
}

QAction* CMainFrame::Action(int commandId) const {
    const auto found = m_actions.find(commandId);
    return found == m_actions.end() ? nullptr : found->second;
}

void CMainFrame::SetCommandTarget(ICommandTarget* target) {
    m_target = target;
    UpdateCommandStates();
}

void CMainFrame::SetChildFrame(CChildFrame* child) {
    m_child = child;
    setCentralWidget(child);
}

void CMainFrame::UpdateCommandStates() {
    for (int id : kRuledCommands)
        if (QAction* action = Action(id))
            action->setEnabled(m_target && m_target->IsCommandEnabled(id));

    const QString activity =
        m_target ? QString::fromStdString(m_target->ActivityText()) : QString();
    if (m_activity && m_activity->text() != activity)
        m_activity->setText(activity);
    const QString link = m_target ? QString::fromStdString(m_target->LinkStatusText()) : QString();
    if (m_link && m_link->text() != link)
        m_link->setText(link);
    // Busy pointer while the device works, but not over a message box it is waiting on.
    const bool busy = !activity.isEmpty() && !QApplication::activeModalWidget();
    if (busy != m_busyPointer) {
        m_busyPointer = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    }
}

void CMainFrame::UpdateTestStatus() {
    const QString text = m_target ? QString::fromStdString(m_target->TestStatusText()) : QString();
    if (m_testStatus && m_testStatus->text() != text)
        m_testStatus->setText(text);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_target && !m_target->MayClose()) {
        event->ignore();
        return;
    }
    if (m_busyPointer) {
        m_busyPointer = false;
        QApplication::restoreOverrideCursor();
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::Dispatch(int commandId) {
    switch (commandId) {
    case ID_APP_ABOUT:
        OnAppAbout();
        return;
    case ID_HELP_CONTROLLER_NOT_FOUND:
        OnControllerNotFound();
        return;
    case ID_APP_EXIT:
        close();
        return;
    default:
        break;
    }
    // A command greyed since the last update must not slip through.
    if (m_target && m_target->IsCommandEnabled(commandId))
        m_target->OnCommand(commandId);
    UpdateCommandStates();
}

void CMainFrame::OnRecordSerialTraffic(bool on) {
    TrafficRecorder& recorder = TrafficRecorder::Shared();
    if (!on) {
        recorder.Stop();
        Settings::SetRecordSerialTraffic(false);
        return;
    }
    std::error_code ignored;
    std::filesystem::create_directories(Folders::Root(), ignored);
    std::string error;
    if (!recorder.Start(Folders::SerialTrafficRecord(), error)) {
        const QSignalBlocker quiet(m_recordTraffic);
        m_recordTraffic->setChecked(false);
        QMessageBox::warning(this, QStringLiteral("Kelvastra"),
                             QStringLiteral("The serial traffic cannot be recorded:\n") +
                                 QString::fromStdString(error));
        return;
    }
    Settings::SetRecordSerialTraffic(true);
}

void CMainFrame::UpdateRecentFiles() {
    const std::vector<std::string> files = Settings::RecentFiles();
    for (int i = 0; i < Settings::kRecentFileCount; ++i) {
        QAction* action = Action(ID_FILE_MRU_FILE1 + i);
        const bool shown = static_cast<size_t>(i) < files.size();
        action->setVisible(shown);
        if (shown) {
            const QString path = QString::fromStdString(files[static_cast<size_t>(i)]);
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
            action->setStatusTip(path);
        }
    }
    m_recentSeparator->setVisible(!files.empty());
}

void CMainFrame::OnAppAbout() {
    CAboutDlg about(m_displayScale, this);
    about.exec();
}

void CMainFrame::OnControllerNotFound() {
    // Not modal: the user may plug the board in, or start a simulator, with the checks in view.
    auto* dialog = new CDoctorDlg(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void CMainFrame::ScaleToDisplay() {
    setFixedSize(ScaledSize(kMainFrameSize, m_displayScale));
}

void CMainFrame::CreateToolBar() {
    if (m_toolBar) {
        removeToolBar(m_toolBar);
        delete m_toolBar;
    }
    m_toolBar = new CMyToolBar(QStringLiteral("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("MainToolBar"));
    m_toolBar->SetImageLists(ToolbarArt::ButtonImages(ToolbarArt::Look::Normal),
                             ToolbarArt::ButtonImages(ToolbarArt::Look::Hot),
                             ToolbarArt::ButtonImages(ToolbarArt::Look::Disabled));
    const int buttons[] = {ID_CONNECTION_INDICATOR, ID_FILE_OPEN,      ID_FILE_SAVE,
                           ID_READ_DEVICE,          ID_PROGRAM_DEVICE, ID_ACCESS_TEST_DATA,
                           ID_CALIBRATION_MODE};
    for (int i = 0; i < ToolbarArt::kButtonCount; ++i) {
        QAction* action = Action(buttons[i]);
        m_toolBar->AddButton(action, i);
        // The pictures carry their own captions; the menus stay text only.
        action->setIconVisibleInMenu(false);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    UpdateCommandStates();
}
