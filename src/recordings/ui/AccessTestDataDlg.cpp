#include "recordings/ui/AccessTestDataDlg.h"

#include "controls/ReportCtrl.h"
#include "controls/WidgetPrompt.h"
#include "devicelink/Controller.h"
#include "document/ControllerCard.h"
#include "document/DialogSession.h"
#include "document/Settings.h"
#include "document/ViewInterfaces.h"
#include "recordings/TestDataAccess.h"
#include "recordings/ui/AdvancedProcess.h"
#include "recordings/ui/PlotWindow.h"
#include "reports/ReportPdf.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <atomic>
#include <filesystem>
#include <memory>

namespace {

constexpr const char* kDeviceGone = "Error:  The device is no longer available.\n";
constexpr const char* kNotConnected =
    "Error:  The controller is not connected.\nConnect it, then press Scan for Data.";
constexpr const char* kNoRunState =
    "Error:  The controller does not say whether a test is running.\n";

// The card or its copy in a folder, for one piece of work on the worker. Display names come
// from the controller's card, or from the copy while the line to the controller is down.
struct WorkCards {
    WorkCards(Controller& controller, bool local, const std::string& folder)
        : card(controller), copy(folder), files(local ? static_cast<ITestDataCard&>(copy) : card),
          names(local && LineDown(controller) ? static_cast<ITestDataCard&>(copy) : card) {}
    ControllerCard card;
    FolderCard copy;
    ITestDataCard& files;
    ITestDataCard& names;
};

// On the worker, before every operation: whether the card may be used. A test running keeps
// everyone off it. A line that went down is set up again when `relink` allows (a scan does;
// a download or deletion never works on a controller its list was not read from). A copy in a
// folder can be worked on without the controller.
CardAccess AccessBefore(Controller& controller, DialogSession& session, bool local, bool relink,
                        bool* relinked = nullptr) {
    CardAccess access = CheckCardAccess(controller);
    if (access == CardAccess::LineDown && relink && session.Relink(controller)) {
        if (relinked)
            *relinked = true;
        access = CheckCardAccess(controller);
    }
    if (local && access != CardAccess::TestRunning)
        return CardAccess::Ready;
    return access;
}

// What to tell the user when an operation may not start; empty when it may.
std::string AccessProblem(CardAccess access) {
    switch (access) {
    case CardAccess::Ready:
        return {};
    case CardAccess::TestRunning:
        return kTestRunningText;
    case CardAccess::LineDown:
        return kNotConnected;
    case CardAccess::NoAnswer:
        return kNoRunState;
    }
    return {};
}

QPushButton* Button(const char* text) {
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CAccessTestDataDlg::CAccessTestDataDlg(DialogSession& session, IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_session(session), m_prompt(prompt) {
    setWindowTitle(QStringLiteral("Access Test Data"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_list = new CReportCtrl;
    m_list->SetColumns(QStringLiteral("File Name, %1;Size (kB), %2").arg(300).arg(100));
    m_list->setMinimumSize(420, 260);
    connect(m_list, &QTableWidget::itemSelectionChanged, this,
            &CAccessTestDataDlg::UpdateSelectionButtons);

    m_scanButton = Button("Scan for Data");
    m_downloadButton = Button("Download Selected");
    m_plotButton = Button("Plot");
    m_reportButton = Button("Report");
    m_deleteButton = Button("Delete Selected");
    m_deleteAllButton = Button("Delete All");
    m_advancedButton = Button("Advanced");
    m_browseButton = Button("Browse");
    m_doneButton = Button("Done");
    m_doneButton->setDefault(true);
    m_stopButton = Button("Stop");
    m_stopButton->setEnabled(false);
    connect(m_scanButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnScanForData);
    connect(m_downloadButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnDownloadSelected);
    connect(m_plotButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnPlot);
    connect(m_reportButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnReport);
    connect(m_deleteButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnDeleteSelected);
    connect(m_deleteAllButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnDeleteAll);
    connect(m_advancedButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnAdvanced);
    connect(m_browseButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnBrowse);
    connect(m_doneButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_stopButton, &QPushButton::clicked, this, &CAccessTestDataDlg::OnStop);

    m_folderEdit = new QLineEdit(QString::fromStdString(Settings::DataDir()));
    m_usedEdit = new QLineEdit;
    m_usedEdit->setReadOnly(true);
    m_progress = new QProgressBar;
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_status = new QLabel;
    m_status->setMinimumWidth(160);

    auto* side = new QVBoxLayout;
    for (QPushButton* button : {m_scanButton, m_downloadButton, m_plotButton, m_reportButton,
                                m_deleteButton, m_deleteAllButton, m_advancedButton})
        side->addWidget(button);
    side->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(side);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Download Folder")), 0, 0);
    fields->addWidget(m_folderEdit, 0, 1);
    fields->addWidget(m_browseButton, 0, 2);
    fields->addWidget(new QLabel(QStringLiteral("Used Storage")), 1, 0);
    fields->addWidget(m_usedEdit, 1, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_status);
    bottom->addWidget(m_stopButton);
    bottom->addWidget(m_doneButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(fields);
    layout->addLayout(bottom);

    m_chooseFolder = [this](const QString& title, const std::string& start) {
        const QString folder =
            QFileDialog::getExistingDirectory(this, title, QString::fromStdString(start));
        return folder.isEmpty() ? std::nullopt : std::optional(folder.toStdString());
    };
    m_askAdvanced = [this]() -> std::optional<bool> {
        CAdvancedProcess advanced(this);
        if (advanced.exec() != QDialog::Accepted)
            return std::nullopt;
        return advanced.ProcessExternal();
    };
    m_openPlot = [this](const std::string& path) {
        auto* window = new CPlotWindow(this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        std::string error;
        if (!window->Open(path, error)) {
            delete window;
            m_prompt.ShowMessage("Error:  " + error, MessageIcon::Error);
            return;
        }
        window->show();
    };

    m_nCapacityKb = m_session.RunAndWait<int>(
        [](Controller& controller) { return CardCapacityKb(controller); }, -1);
    FillList();
    ShowUsedStorage();
    UpdateSelectionButtons();
}

std::optional<std::string> CAccessTestDataDlg::ConvertedFile(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= m_files.size())
        return std::nullopt;
    const auto found = m_converted.find(m_files[static_cast<size_t>(row)].cardName);
    return found == m_converted.end() ? std::nullopt : std::optional(found->second);
}

std::string CAccessTestDataDlg::DownloadFolder() const {
    return m_folderEdit->text().trimmed().toStdString();
}

void CAccessTestDataDlg::FillList() {
    m_list->setUpdatesEnabled(false);
    m_list->DeleteAllRows();
    m_list->setUpdatesEnabled(true);
    for (const TestDataFile& file : m_files)
        m_list->AddRow({QString::fromStdString(file.displayName),
                        QString::fromStdString(SizeKbText(file.sizeBytes))});
}

void CAccessTestDataDlg::ShowUsedStorage() {
    m_usedEdit->setText(QString::fromStdString(UsedStorageText(m_files, m_nCapacityKb)));
}

void CAccessTestDataDlg::SetBusy(bool busy) {
    m_bBusy = busy;
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_list, m_scanButton, m_deleteAllButton, m_advancedButton,
                                         m_browseButton, m_folderEdit, m_doneButton})
        control->setEnabled(!busy);
    UpdateSelectionButtons();
}

void CAccessTestDataDlg::UpdateSelectionButtons() {
    const std::vector<int> rows = m_list->SelectedRows();
    bool plottable = false;
    for (int row : rows)
        plottable = plottable || ConvertedFile(row).has_value();
    m_downloadButton->setEnabled(!m_bBusy && !rows.empty());
    m_deleteButton->setEnabled(!m_bBusy && !rows.empty());
    m_plotButton->setEnabled(!m_bBusy && plottable);
    m_reportButton->setEnabled(!m_bBusy && plottable);
}

void CAccessTestDataDlg::ShowProgress(std::int64_t done, std::int64_t total) {
    const int maximum = static_cast<int>(std::clamp<std::int64_t>(total, 1, INT32_MAX));
    m_progress->setRange(0, maximum);
    m_progress->setValue(static_cast<int>(std::clamp<std::int64_t>(done, 0, maximum)));
}

void CAccessTestDataDlg::SetStatus(const QString& text) {
    m_status->setText(text);
}

void CAccessTestDataDlg::OnScanForData() {
    if (m_bBusy)
        return;
    struct Outcome {
        bool ran = false;
        CardAccess access = CardAccess::Ready;
        bool listed = false;
        bool cutOff = false;           // the line went down during the scan
        std::optional<int> capacityKb; // asked again of a controller connected afresh
        std::vector<TestDataFile> files;
    };
    SetBusy(true);
    m_files.clear();
    m_converted.clear();
    FillList();
    SetStatus(QStringLiteral("Scanning..."));
    const bool local = m_bLocalMode;
    const std::string folder = m_localFolder;
    DialogSession* session = &m_session;
    const Outcome outcome = m_session.RunWithProgress<Outcome>(
        [local, folder, session](Controller& controller, const ProgressFn& progress) {
            Outcome result;
            result.ran = true;
            bool relinked = false;
            result.access = AccessBefore(controller, *session, local, true, &relinked);
            if (relinked)
                result.capacityKb = CardCapacityKb(controller);
            if (result.access != CardAccess::Ready)
                return result;
            WorkCards cards(controller, local, folder);
            result.listed = ScanTestData(cards.files, cards.names, result.files, progress);
            result.cutOff = &cards.names == &cards.card && LineDown(controller);
            return result;
        },
        [this](std::int64_t done, std::int64_t total) { ShowProgress(done, total); });
    if (outcome.capacityKb)
        m_nCapacityKb = *outcome.capacityKb;
    m_files = outcome.files;
    FillList();
    ShowProgress(0, 1);
    const bool complete =
        outcome.ran && outcome.access == CardAccess::Ready && outcome.listed && !outcome.cutOff;
    SetStatus(complete ? QStringLiteral("Scan Complete") : QStringLiteral("Scan Failed"));
    ShowUsedStorage();
    SetBusy(false);
    if (!outcome.ran)
        m_prompt.ShowMessage(kDeviceGone, MessageIcon::Error);
    else if (const std::string problem = AccessProblem(outcome.access); !problem.empty())
        m_prompt.ShowMessage(problem, MessageIcon::Error);
    else if (outcome.cutOff)
        m_prompt.ShowMessage("Error:  The controller was disconnected during the scan.",
                             MessageIcon::Error);
}

void CAccessTestDataDlg::OnDownloadSelected() {
    if (m_bBusy || m_list->SelectedRows().empty())
        return;
    const std::string folder = DownloadFolder();
    SetBusy(true);
    struct Check {
        bool ok = false;
        std::string message = kDeviceGone;
    };
    const Check check = m_session.RunAndWait<Check>([folder](Controller&) {
        Check result;
        result.ok = PrepareDownloadFolder(folder, result.message);
        return result;
    });
    if (!check.ok) {
        SetBusy(false);
        m_prompt.ShowMessage(check.message, MessageIcon::Error);
        return;
    }

    const bool local = m_bLocalMode;
    const std::string source = m_localFolder;
    DialogSession* session = &m_session;
    m_bStopRequested = false;
    m_stopButton->setEnabled(true);
    // The stage is shown with the progress, on this thread.
    auto reached = std::make_shared<std::atomic<int>>(-1);
    auto stage = [reached](DownloadStage next) { *reached = static_cast<int>(next); };
    auto showStage = [this, reached] {
        static const char* const texts[] = {"Downloading...", "Processing...", "Download Complete"};
        const int now = reached->exchange(-1);
        if (now >= 0)
            SetStatus(QString::fromLatin1(texts[now]));
    };
    struct Outcome {
        CardAccess access = CardAccess::Ready;
        std::optional<DownloadResult> result;
    };
    // Every selected row in list order, each deselected when done.
    for (;;) {
        const std::vector<int> rows = m_list->SelectedRows();
        if (rows.empty())
            break;
        if (m_bStopRequested) {
            SetStatus(QStringLiteral("Download Stopped"));
            break;
        }
        const int row = rows.front();
        const TestDataFile file = m_files[static_cast<size_t>(row)];
        const auto outcome = m_session.RunWithProgress<std::optional<Outcome>>(
            [=](Controller& controller, const ProgressFn& progress) {
                Outcome result;
                result.access = AccessBefore(controller, *session, local, false);
                if (result.access != CardAccess::Ready)
                    return std::optional(result);
                WorkCards cards(controller, local, source);
                result.result = DownloadAndConvert(cards.files, file, folder, controller.hardware,
                                                   progress, stage);
                return std::optional(result);
            },
            [this, showStage](std::int64_t done, std::int64_t total) {
                showStage();
                ShowProgress(done, total);
            },
            std::nullopt);
        showStage();
        ShowProgress(0, 1);
        if (!outcome) {
            m_prompt.ShowMessage(kDeviceGone, MessageIcon::Error);
            break;
        }
        if (const std::string problem = AccessProblem(outcome->access); !problem.empty()) {
            SetStatus(QStringLiteral("Download Failed"));
            m_prompt.ShowMessage(problem, MessageIcon::Error);
            break;
        }
        const DownloadResult& result = *outcome->result;
        if (result.status == DownloadResult::Stopped)
            continue; // the loop ends above; the row stays selected for another try
        m_list->SelectRow(row, false);
        const std::string message = DownloadMessage(result, file);
        if (result.status == DownloadResult::Converted) {
            m_converted[file.cardName] = result.paths.converted.string();
            if (!message.empty())
                m_prompt.ShowMessage(message, MessageIcon::Exclamation);
            continue;
        }
        SetStatus(QStringLiteral("Download Failed"));
        m_prompt.ShowMessage(message, MessageIcon::Error);
        // The rest would only fail the same way.
        if (result.status == DownloadResult::Disconnected)
            break;
    }
    m_stopButton->setEnabled(false);
    SetBusy(false);
}

void CAccessTestDataDlg::OnStop() {
    m_bStopRequested = true;
    m_stopButton->setEnabled(false);
    m_session.Cancel();
}

void CAccessTestDataDlg::ShowDeletionReport(bool ran, const DeletionReport& report) {
    if (!ran) {
        m_prompt.ShowMessage(kDeviceGone, MessageIcon::Error);
        return;
    }
    for (const std::string& message : DeletionMessages(report))
        m_prompt.ShowMessage(message, MessageIcon::Error);
}

void CAccessTestDataDlg::OnDeleteSelected() {
    if (m_bBusy)
        return;
    const std::vector<int> rows = m_list->SelectedRows();
    if (rows.empty())
        return;
    struct Outcome {
        bool ran = false;
        CardAccess access = CardAccess::Ready;
        std::vector<TestDataFile> files;
        DeletionReport report;
    };
    SetBusy(true);
    // A test with no downloaded copy is asked about first: deleting it loses it.
    std::vector<TestDataFile> selected;
    for (int row : rows)
        selected.push_back(m_files[static_cast<size_t>(row)]);
    const std::string downloads = DownloadFolder();
    const auto notDownloaded = m_session.RunAndWait<std::optional<std::vector<TestDataFile>>>(
        [selected, downloads](Controller&) {
            std::vector<TestDataFile> missing;
            for (const TestDataFile& file : selected) {
                if (!HasDownloadedCopy(file, downloads))
                    missing.push_back(file);
            }
            return std::optional(missing);
        },
        std::nullopt);
    if (notDownloaded && !notDownloaded->empty() &&
        m_prompt.ShowMessage(DeleteQuestion(selected.size(), *notDownloaded, m_bLocalMode),
                             MessageIcon::Question,
                             MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes) {
        SetBusy(false);
        return;
    }
    const bool local = m_bLocalMode;
    const std::string folder = m_localFolder;
    DialogSession* session = &m_session;
    const Outcome outcome = m_session.RunAndWait<Outcome>(
        [local, folder, session, rows, files = m_files](Controller& controller) {
            Outcome result{true, CardAccess::Ready, files, {}};
            result.access = AccessBefore(controller, *session, local, false);
            if (result.access != CardAccess::Ready)
                return result;
            WorkCards cards(controller, local, folder);
            result.report = DeleteSelectedFiles(cards.files, result.files, rows);
            return result;
        });
    if (outcome.ran)
        m_files = outcome.files;
    FillList();
    ShowUsedStorage();
    SetBusy(false);
    if (const std::string problem = AccessProblem(outcome.access); !problem.empty())
        m_prompt.ShowMessage(problem, MessageIcon::Error);
    else
        ShowDeletionReport(outcome.ran, outcome.report);
}

void CAccessTestDataDlg::OnDeleteAll() {
    if (m_bBusy)
        return;
    if (m_prompt.ShowMessage(kDeleteAllQuestion, MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes)
        return;
    if (m_files.empty())
        return;
    struct Outcome {
        bool ran = false;
        CardAccess access = CardAccess::Ready;
        std::vector<TestDataFile> files;
        DeletionReport report;
    };
    SetBusy(true);
    const bool local = m_bLocalMode;
    const std::string folder = m_localFolder;
    DialogSession* session = &m_session;
    const Outcome outcome = m_session.RunAndWait<Outcome>(
        [local, folder, session, files = m_files](Controller& controller) {
            Outcome result{true, CardAccess::Ready, files, {}};
            result.access = AccessBefore(controller, *session, local, false);
            if (result.access != CardAccess::Ready)
                return result;
            WorkCards cards(controller, local, folder);
            result.report = DeleteAllFiles(cards.files, result.files);
            return result;
        });
    if (outcome.ran)
        m_files = outcome.files;
    FillList();
    ShowUsedStorage();
    SetBusy(false);
    if (const std::string problem = AccessProblem(outcome.access); !problem.empty())
        m_prompt.ShowMessage(problem, MessageIcon::Error);
    else
        ShowDeletionReport(outcome.ran, outcome.report);
}

void CAccessTestDataDlg::OnBrowse() {
    if (m_bBusy)
        return;
    std::string start = DownloadFolder();
    std::error_code error;
    if (start.empty() || !std::filesystem::is_directory(start, error))
        start = QDir::homePath().toStdString();
    const auto chosen = m_chooseFolder(QStringLiteral("Select Download Folder Location"), start);
    if (!chosen)
        return;
    m_folderEdit->setText(QString::fromStdString(*chosen));
    Settings::SetDataDir(*chosen);
}

void CAccessTestDataDlg::OnAdvanced() {
    if (m_bBusy)
        return;
    m_bLocalMode = false;
    const std::optional<bool> external = m_askAdvanced();
    if (external)
        m_bLocalMode = *external;
    if (!m_bLocalMode)
        return;
    std::string start = Folders::Root();
    std::error_code error;
    if (!std::filesystem::is_directory(start, error))
        start = QDir::homePath().toStdString();
    const auto chosen = m_chooseFolder(QStringLiteral("Select Folder Containing Raw Data"), start);
    if (!chosen)
        return;
    m_localFolder = *chosen;
    if (m_localFolder.empty() || m_localFolder.back() != '/')
        m_localFolder += '/';
    OnScanForData();
}

void CAccessTestDataDlg::OnPlot() {
    if (m_bBusy)
        return;
    for (int row : m_list->SelectedRows()) {
        if (const auto path = ConvertedFile(row)) {
            m_openPlot(*path);
            return;
        }
    }
}

void CAccessTestDataDlg::OnReport() {
    if (m_bBusy)
        return;
    for (int row : m_list->SelectedRows()) {
        const auto path = ConvertedFile(row);
        if (!path)
            continue;
        std::filesystem::path written;
        std::string error;
        if (WriteTestReport(std::filesystem::path(*path).parent_path(), {}, written, error))
            m_prompt.ShowMessage("Report written to " + written.string(), MessageIcon::Information);
        else
            m_prompt.ShowMessage("Error:  " + error, MessageIcon::Error);
        return;
    }
}

void CAccessTestDataDlg::reject() {
    // Escape stops a download; the dialog closes once nothing runs.
    if (m_stopButton->isEnabled())
        OnStop();
    else if (!m_bBusy)
        QDialog::reject();
}

bool OpenAccessTestDataDialog(DialogSession& session, QWidget* parent, IUserPrompt* prompt) {
    std::unique_ptr<CWidgetPrompt> ownPrompt;
    if (!prompt) {
        ownPrompt = std::make_unique<CWidgetPrompt>();
        prompt = ownPrompt.get();
    }
    CAccessTestDataDlg dialog(session, *prompt, parent);
    if (ownPrompt)
        ownPrompt->SetParentWidget(&dialog);
    dialog.exec();
    return false;
}
