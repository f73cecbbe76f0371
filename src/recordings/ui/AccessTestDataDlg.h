// "Access Test Data": the test data files on the controller's card (or on a copy of the card in
// a folder, after Advanced), downloaded and converted into result folders, plotted, deleted, and
// how full the card is.
//
// The dialog lives on the GUI thread; every card access and every file operation runs on the
// device worker through the dialog session, one operation at a time: while one runs, the
// buttons that would start another are disabled and the progress bar and status text follow it.
#pragma once

#include "recordings/TestDataAccess.h"
#include "recordings/TestDataListing.h"

#include <QDialog>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CReportCtrl;
class DialogSession;
class IUserPrompt;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CAccessTestDataDlg : public QDialog {
    Q_OBJECT
public:
    // A folder picker: title and starting folder in, the chosen folder out (nullopt: cancelled).
    using FolderChooser =
        std::function<std::optional<std::string>(const QString& title, const std::string& start)>;
    // The Advanced question: the check box on OK, nullopt on Cancel.
    using AdvancedAsker = std::function<std::optional<bool>()>;
    // Opens a plot of a converted file.
    using PlotOpener = std::function<void(const std::string& path)>;

    static constexpr const char* kDeleteAllQuestion = "Delete All.  Are You sure?";

    // Asks the controller for the card capacity and loads the download folder ("DataDir").
    CAccessTestDataDlg(DialogSession& session, IUserPrompt& prompt, QWidget* parent = nullptr);

    void SetFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    void SetAdvancedAsker(AdvancedAsker asker) { m_askAdvanced = std::move(asker); }
    void SetPlotOpener(PlotOpener opener) { m_openPlot = std::move(opener); }

    const std::vector<TestDataFile>& Files() const { return m_files; }
    bool LocalMode() const { return m_bLocalMode; }
    const std::string& LocalFolder() const { return m_localFolder; }
    int CapacityKb() const { return m_nCapacityKb; }
    bool Busy() const { return m_bBusy; }
    // The converted file of a row downloaded in this dialog, if any.
    std::optional<std::string> ConvertedFile(int row) const;

    CReportCtrl* List() const { return m_list; }
    QLineEdit* FolderEdit() const { return m_folderEdit; }
    QLineEdit* UsedStorageEdit() const { return m_usedEdit; }
    QProgressBar* Progress() const { return m_progress; }
    QLabel* Status() const { return m_status; }
    QPushButton* DownloadButton() const { return m_downloadButton; }
    QPushButton* DeleteSelectedButton() const { return m_deleteButton; }
    QPushButton* DeleteAllButton() const { return m_deleteAllButton; }
    QPushButton* BrowseButton() const { return m_browseButton; }
    QPushButton* ScanButton() const { return m_scanButton; }
    QPushButton* AdvancedButton() const { return m_advancedButton; }
    QPushButton* PlotButton() const { return m_plotButton; }
    QPushButton* ReportButton() const { return m_reportButton; }
    QPushButton* DoneButton() const { return m_doneButton; }
    QPushButton* StopButton() const { return m_stopButton; }

public slots:
    void OnScanForData();
    void OnDownloadSelected();
    void OnDeleteSelected();
    void OnDeleteAll();
    void OnBrowse();
    void OnAdvanced();
    void OnPlot();
    void OnReport();
    // Ends the running download: the rest of the file is read and dropped, nothing is kept, and
    // the rows not yet downloaded stay selected.
    void OnStop();
    // Closing is refused while an operation runs (a download is stopped instead).
    void reject() override;

private:
    void FillList();
    void ShowUsedStorage();
    // The messages of a deletion; `ran` false when the session had already ended.
    void ShowDeletionReport(bool ran, const DeletionReport& report);
    void SetBusy(bool busy);
    // The buttons that work on the selected rows.
    void UpdateSelectionButtons();
    void ShowProgress(std::int64_t done, std::int64_t total);
    void SetStatus(const QString& text);
    std::string DownloadFolder() const;

    DialogSession& m_session;
    IUserPrompt& m_prompt;
    int m_nCapacityKb = -1;
    std::vector<TestDataFile> m_files;
    bool m_bLocalMode = false;
    std::string m_localFolder;
    bool m_bBusy = false;
    bool m_bStopRequested = false;
    std::map<std::string, std::string> m_converted; // card name -> converted file

    FolderChooser m_chooseFolder;
    AdvancedAsker m_askAdvanced;
    PlotOpener m_openPlot;

    CReportCtrl* m_list = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QLineEdit* m_usedEdit = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_downloadButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_deleteAllButton = nullptr;
    QPushButton* m_browseButton = nullptr;
    QPushButton* m_scanButton = nullptr;
    QPushButton* m_advancedButton = nullptr;
    QPushButton* m_plotButton = nullptr;
    QPushButton* m_reportButton = nullptr;
    QPushButton* m_doneButton = nullptr;
    QPushButton* m_stopButton = nullptr;
};

// The dialog host's opener for Access Test Data: runs the dialog modally. Messages go to
// `prompt`, or to message boxes over the dialog when it is null.
bool OpenAccessTestDataDialog(DialogSession& session, QWidget* parent,
                              IUserPrompt* prompt = nullptr);
