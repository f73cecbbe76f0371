// The main window: fixed size, title always "Kelvastra", the Hardware and File menus, the picture
// toolbar whose first button shows whether the device is connected, and the status bar.
#pragma once

#include <QMainWindow>

#include <map>

class CChildFrame;
class CMyToolBar;
class ICommandTarget;
class QAction;
class QLabel;

// The frame's size before scaling for the display.
inline constexpr QSize kMainFrameSize{950, 600};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Commands go to `target` (the document); null greys every document command.
    void SetCommandTarget(ICommandTarget* target);
    void SetChildFrame(CChildFrame* child);
    CChildFrame* ChildFrame() const { return m_child; }

    // Horizontal logical pixels per inch / 96, measured when the window was created.
    double DisplayScale() const { return m_displayScale; }
    // Sets the outer size to the initial size times the display scale.
    void ScaleToDisplay();
    // Creates the toolbar (replacing an earlier one) with its seven buttons.
    void CreateToolBar();
    CMyToolBar* ToolBar() const { return m_toolBar; }

    // The action of a command id (menus and toolbar share it); null when there is none.
    QAction* Action(int commandId) const;
    // Applies the document's enable rule to every command now, and shows what the device is
    // busy with: its activity in the status bar and a busy pointer over the window.
    void UpdateCommandStates();
    // Status-bar indicators "CAP", "NUM", "SCRL".
    QLabel* Indicator(int index) const;
    void SetIndicator(int index, bool on);
    // Lights the indicators from the keyboard's lock states where the platform tells them.
    void UpdateIndicators();
    // The status-bar text of the device's activity.
    QLabel* ActivityLabel() const { return m_activity; }
    // The status-bar text of the controller's test ("Test running: set 2 of 4 ...").
    QLabel* TestStatusLabel() const { return m_testStatus; }
    void UpdateTestStatus();
    // The status-bar text of the link: the controller, or where the limits come from without one.
    QLabel* LinkLabel() const { return m_link; }

    void OnAppAbout();
    // Help, "Why is the controller not found?": the doctor's checks in a dialog of their own.
    void OnControllerNotFound();
    // "Record Serial Traffic" (checkable, Hardware menu): the traffic record in the root folder.
    QAction* RecordTrafficAction() const { return m_recordTraffic; }
    // Shows the recent protocol files (from the settings) in the File menu.
    void UpdateRecentFiles();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* MakeAction(int id, const QString& text, const QString& prompt = {},
                        const QString& tip = {});
    void CreateMenus();
    void CreateStatusBar();
    void Dispatch(int commandId);
    void OnRecordSerialTraffic(bool on);

    ICommandTarget* m_target = nullptr;
    CChildFrame* m_child = nullptr;
    CMyToolBar* m_toolBar = nullptr;
    double m_displayScale = 1.0;
    std::map<int, QAction*> m_actions;
    QAction* m_recordTraffic = nullptr;
    QAction* m_recentSeparator = nullptr;
    QLabel* m_indicators[3] = {nullptr, nullptr, nullptr};
    QLabel* m_activity = nullptr;
    QLabel* m_testStatus = nullptr;
    QLabel* m_link = nullptr;
    bool m_busyPointer = false;
};
