#include "calibration/ui/DisplacementCalibrationDlg.h"

#include "calibration/ui/CalibrationWork.h"
#include "controls/QuillmarkButton.h"
#include "controls/QuillmarkHeaderCtrl.h"
#include "controls/ReportCtrl.h"
#include "controls/WidgetPrompt.h"
#include "document/Settings.h"
#include "document/ViewInterfaces.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QUrl>
#include <QVBoxLayout>

#include <QHeaderView>

#include <algorithm>
#include <ctime>
#include <initializer_list>
#include <memory>

namespace {

QString WellColumns(int width) {
    QString spec;
    for (int w = 1; w <= kWellCount; ++w)
        spec += QStringLiteral(";Well %1,%2").arg(w).arg(width);
    return spec;
}

// The sixth column's title carries a trailing blank, which the column string would trim.
void SetSixthTitle(CReportCtrl* list) {
    const QString title = QStringLiteral("Well 6 ");
    if (auto* item = list->horizontalHeaderItem(6))
        item->setText(title);
    QStringList titles = list->Header()->Titles();
    if (titles.size() > 6) {
        titles[6] = title;
        list->Header()->SetTitles(titles);
    }
}

CReportCtrl* MakeList(const QString& firstColumn) {
    auto* list = new CReportCtrl;
    // Widths are device-independent pixels: Qt applies the screen's scale itself.
    list->SetColumns(firstColumn + QStringLiteral(",60") + WellColumns(50));
    SetSixthTitle(list);
    list->SetSortable(false);
    return list;
}

QPushButton* MakeButton(const char* text) {
    auto* button = new CQuillmarkButton(QString::fromLatin1(text));
    button->setAutoDefault(false);
    return button;
}

QPlainTextEdit* MakeText(const char* text) {
    auto* edit = new QPlainTextEdit(
        QString::fromLatin1(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    return edit;
}

// The columns keep their set widths, and grow where a number would not fit.
void FitColumns(CReportCtrl* list, int minimum) {
    const QFontMetrics metrics = list->fontMetrics();
    for (int column = 0; column < list->columnCount(); ++column) {
        int width = column == 0 ? 60 : minimum;
        for (int row = 0; row < list->rowCount(); ++row)
            width = std::max(width, metrics.horizontalAdvance(list->ItemText(row, column)) + 12);
        list->setColumnWidth(column, width);
    }
}

QStringList Texts(const std::array<std::string, 1 + kWellCount>& row) {
    QStringList texts;
    for (const std::string& text : row)
        texts << QString::fromStdString(text);
    return texts;
}

} // namespace

CDisplacementCalibrationDlg::CDisplacementCalibrationDlg(DialogSession& session,
                                                         IUserPrompt& prompt,
                                                         CalibrationFolders folders,
                                                         bool factoryAccess, QWidget* parent)
    : QDialog(parent), m_session(session), m_prompt(prompt), m_folders(std::move(folders)) {
    setWindowTitle(QStringLiteral("Displacement Calibration"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_position = new QLineEdit(QStringLiteral("0"));
    m_position->setObjectName(QStringLiteral("position"));
    m_position->setMaximumWidth(120);
    m_collect = MakeButton("Collect");
    m_deleteRows = MakeButton("Delete Row(s)");
    m_deleteAll = MakeButton("Delete All");
    m_analyze = MakeButton("Analyze");
    m_export = MakeButton("Export");
    m_apply = MakeButton("Apply");
    m_import = MakeButton("Import");
    m_restore = MakeButton("Restore to Factory");
    m_readDevice = MakeButton("Read Device Calibrations");
    m_writeFactory = MakeButton("Write Factory Calibrations");
    m_collectRaw = MakeButton("Collect Raw Output");
    m_done = MakeButton("Done");
    m_collect->setToolTip(QStringLiteral("Gather raw data for specified position."));
    m_analyze->setToolTip(QStringLiteral("Generate calibration factors from gathered data."));
    m_export->setToolTip(QStringLiteral("Backup gathered calibration data locally."));
    m_apply->setToolTip(QStringLiteral("Upload gathered calibration data to Device."));
    m_import->setToolTip(QStringLiteral("Import exported calibration data file."));

    m_dataList = MakeList(QStringLiteral("Position"));
    m_factorList = MakeList(QStringLiteral("Factor"));
    // Room for the header and the three factor rows.
    m_factorList->setFixedHeight(m_factorList->horizontalHeader()->sizeHint().height() +
                                 4 * m_factorList->verticalHeader()->defaultSectionSize());
    m_status = new QLineEdit;
    m_status->setReadOnly(true);
    m_instructions = MakeText(kInstructions);
    m_notes = MakeText(kNotes);
    m_progress = new QProgressBar;
    m_progress->setVisible(false);

    m_rawPressure = new QLineEdit(QStringLiteral("0"));
    m_rawSize = new QLineEdit(QStringLiteral("0"));
    m_rawSensor = new QLineEdit(QStringLiteral("0"));

    auto* positionRow = new QHBoxLayout;
    auto* positionBox = new QVBoxLayout;
    positionBox->addWidget(new QLabel(QStringLiteral("Position (um)")));
    positionBox->addWidget(m_position);
    positionRow->addLayout(positionBox);
    positionRow->addWidget(m_collect, 0, Qt::AlignBottom);
    positionRow->addStretch();

    auto* dataButtons = new QHBoxLayout;
    for (QPushButton* button : {m_deleteRows, m_deleteAll, m_analyze})
        dataButtons->addWidget(button);
    dataButtons->addStretch();

    auto* fileButtons = new QHBoxLayout;
    for (QPushButton* button : {m_export, m_apply, m_import, m_restore, m_readDevice})
        fileButtons->addWidget(button);
    fileButtons->addStretch();

    // Instructions and notes side by side, the notes wrapped: the dialog fits a 768-pixel screen.
    auto* instructions = new QGroupBox(QStringLiteral("Instructions"));
    (new QVBoxLayout(instructions))->addWidget(m_instructions);
    auto* notes = new QGroupBox(QStringLiteral("Notes"));
    (new QVBoxLayout(notes))->addWidget(m_notes);
    m_notes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_instructions->setMinimumHeight(m_instructions->fontMetrics().lineSpacing() * 7);
    auto* guidance = new QHBoxLayout;
    guidance->addWidget(instructions, 3);
    guidance->addWidget(notes, 2);

    m_factoryBox = new QWidget;
    auto* factory = new QGridLayout(m_factoryBox);
    factory->setContentsMargins(0, 0, 0, 0);
    factory->addWidget(new QLabel(QStringLiteral("Pressure (Raw)")), 0, 0);
    factory->addWidget(new QLabel(QStringLiteral("Size (# cycles)")), 0, 1);
    factory->addWidget(new QLabel(QStringLiteral("Sensor (0-9)")), 0, 2);
    factory->addWidget(m_rawPressure, 1, 0);
    factory->addWidget(m_rawSize, 1, 1);
    factory->addWidget(m_rawSensor, 1, 2);
    factory->addWidget(m_collectRaw, 1, 3);
    factory->addWidget(m_writeFactory, 1, 4);
    m_factoryBox->setVisible(factoryAccess);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 2);
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_done);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(positionRow);
    layout->addWidget(m_dataList, 3);
    layout->addLayout(dataButtons);
    layout->addWidget(m_factorList, 1);
    layout->addLayout(fileButtons);
    layout->addLayout(guidance, 2);
    layout->addWidget(m_factoryBox);
    layout->addLayout(bottom);
    resize(sizeHint());

    connect(m_collect, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::OnCollect);
    connect(m_deleteRows, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::OnDeleteRows);
    connect(m_deleteAll, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::OnDeleteAll);
    connect(m_analyze, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::OnAnalyze);
    connect(m_export, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::OnExport);
    connect(m_apply, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::OnApply);
    connect(m_import, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::OnImport);
    connect(m_restore, &QPushButton::clicked, this,
            &CDisplacementCalibrationDlg::OnRestoreToFactory);
    connect(m_readDevice, &QPushButton::clicked, this,
            &CDisplacementCalibrationDlg::OnReadDeviceCalibrations);
    connect(m_writeFactory, &QPushButton::clicked, this,
            &CDisplacementCalibrationDlg::OnWriteFactoryCalibrations);
    connect(m_collectRaw, &QPushButton::clicked, this,
            &CDisplacementCalibrationDlg::OnCollectRawOutput);
    connect(m_done, &QPushButton::clicked, this, &CDisplacementCalibrationDlg::reject);
    connect(m_dataList, &CReportCtrl::DeleteKeyPressed, this,
            &CDisplacementCalibrationDlg::OnDeleteRows);

    // An export is kept twice, identical: the ".csv" in the calibration folder and its read-only
    // ".mgg" copy in the backup folder. Either imports; each filter opens its own folder.
    m_chooseImport = [this](const std::string& start) -> std::optional<std::string> {
        const QString copies = QStringLiteral("Calibration Files(*.mgg)");
        const QString exports = QStringLiteral("Calibration Exports(*.csv)");
        const QString backup = QString::fromStdString(m_folders.backup.string());
        const QString calibrations = QString::fromStdString(m_folders.calibrations.string());
        QFileDialog dialog(this, QStringLiteral("Select Calibration File"),
                           QString::fromStdString(start));
        dialog.setNameFilters({copies, exports});
        dialog.setDefaultSuffix(QStringLiteral("mgg"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setSidebarUrls({QUrl::fromLocalFile(backup), QUrl::fromLocalFile(calibrations)});
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
            const bool csv = filter == exports;
            dialog.setDirectory(csv ? calibrations : backup);
            dialog.setDefaultSuffix(csv ? QStringLiteral("csv") : QStringLiteral("mgg"));
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().front().toStdString();
    };
    ShowCalibration();
}

QSize CDisplacementCalibrationDlg::sizeHint() const {
    // The lists would ask for more than a laptop screen holds; they scroll instead.
    return QDialog::sizeHint().expandedTo({960, 0}).boundedTo({QWIDGETSIZE_MAX, kPreferredHeight});
}

void CDisplacementCalibrationDlg::keyPressEvent(QKeyEvent* event) {
    // Enter must not close the dialog.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDisplacementCalibrationDlg::reject() {
    if (!m_busy)
        QDialog::reject();
}

void CDisplacementCalibrationDlg::SetBusy(bool busy) {
    m_busy = busy;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_position, m_collect, m_deleteRows, m_deleteAll, m_analyze, m_export, m_apply,
             m_import, m_restore, m_readDevice, m_writeFactory, m_collectRaw, m_done, m_rawPressure,
             m_rawSize, m_rawSensor})
        control->setEnabled(!busy);
}

void CDisplacementCalibrationDlg::ShowCalibration() {
    m_dataList->DeleteAllRows();
    for (const DataRow& row : m_calibration.Rows())
        m_dataList->AddRow(Texts(row));
    m_factorList->DeleteAllRows();
    if (m_calibration.FactorsShown()) {
        for (const FactorRow& row : m_calibration.FactorRows())
            m_factorList->AddRow(Texts(row));
    }
    FitColumns(m_dataList, 50);
    FitColumns(m_factorList, 50);
    m_status->setText(QString::fromStdString(m_calibration.Status()));
}

void CDisplacementCalibrationDlg::Show(const CalibrationOutcome& outcome) {
    ShowCalibration();
    if (!outcome.message.empty())
        m_prompt.ShowMessage(outcome.message,
                             outcome.error ? MessageIcon::Error : MessageIcon::Exclamation);
}

bool CDisplacementCalibrationDlg::ReadInteger(QLineEdit* edit, int& value) {
    bool ok = false;
    const int read = QLocale::c().toInt(edit->text().trimmed(), &ok);
    if (ok) {
        value = read;
        return true;
    }
    m_prompt.ShowMessage(kNotAnInteger, MessageIcon::Exclamation);
    edit->setFocus();
    edit->selectAll();
    return false;
}

void CDisplacementCalibrationDlg::OnCollect() {
    int position = 0;
    if (m_busy || !ReadInteger(m_position, position))
        return;
    SetBusy(true);
    const auto samples = RunCalibrationWork<SensorSamples>(
        m_session,
        [](ICalibrationDevice& device, const ProgressFn& progress) {
            return SampleSensors(device, WellsThenPressure(), kSamplesPerReading, true, progress);
        },
        m_progress);
    SetBusy(false);
    if (!samples) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    Show(m_calibration.AddCollection(position, *samples));
}

void CDisplacementCalibrationDlg::OnDeleteRows() {
    if (m_busy)
        return;
    m_calibration.DeleteRows(m_dataList->SelectedRows());
    ShowCalibration();
}

void CDisplacementCalibrationDlg::OnDeleteAll() {
    if (m_busy)
        return;
    m_calibration.DeleteAll();
    ShowCalibration();
}

void CDisplacementCalibrationDlg::OnAnalyze() {
    if (!m_busy)
        Show(m_calibration.Analyze());
}

void CDisplacementCalibrationDlg::OnExport() {
    if (!m_busy)
        Show(m_calibration.Export(m_folders, std::time(nullptr)));
}

void CDisplacementCalibrationDlg::OnApply() {
    Apply(false);
}

void CDisplacementCalibrationDlg::OnWriteFactoryCalibrations() {
    Apply(true);
}

void CDisplacementCalibrationDlg::Apply(bool factory) {
    if (m_busy)
        return;
    std::string refusal;
    const auto values = m_calibration.ApplyValues(refusal);
    if (!values) {
        m_prompt.ShowMessage(refusal, MessageIcon::Exclamation);
        return;
    }
    SetBusy(true);
    const auto result = RunCalibrationWork<ApplyResult>(
        m_session, [values = *values, factory](ICalibrationDevice& device, const ProgressFn&) {
            return ApplyCalibration(device, values, factory);
        });
    SetBusy(false);
    if (!result) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    const CalibrationOutcome outcome = ApplyOutcome(*result, factory);
    m_calibration.SetStatus(outcome.ok ? std::string(DisplacementCalibration::kApplied)
                                       : ApplyCardState(*result, factory));
    Show(outcome);
}

void CDisplacementCalibrationDlg::OnImport() {
    if (m_busy || !m_chooseImport)
        return;
    const std::optional<std::string> path = m_chooseImport(m_folders.backup.string());
    if (!path)
        return;
    Show(m_calibration.Import(*path));
}

void CDisplacementCalibrationDlg::OnReadDeviceCalibrations() {
    if (m_busy)
        return;
    SetBusy(true);
    const auto values = RunCalibrationWork<std::optional<std::array<double, 3 * kWellCount>>>(
        m_session, [](ICalibrationDevice& device, const ProgressFn&) {
            return ReadCardCalibration(device, kCoefficientFile);
        });
    SetBusy(false);
    if (!values) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    // A card file that is not a complete calibration changes nothing.
    if (*values)
        m_calibration.ShowDeviceCalibration(**values);
    ShowCalibration();
}

void CDisplacementCalibrationDlg::OnRestoreToFactory() {
    if (m_busy ||
        m_prompt.ShowMessage(DisplacementCalibration::kRestoreQuestion, MessageIcon::Exclamation,
                             MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes)
        return;
    SetBusy(true);
    const auto result = RunCalibrationWork<RestoreResult>(
        m_session, [](ICalibrationDevice& device, const ProgressFn&) {
            return RestoreFactoryCalibration(device);
        });
    SetBusy(false);
    if (!result) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    Show(TakeRestore(m_calibration, *result));
}

void CDisplacementCalibrationDlg::OnCollectRawOutput() {
    RawOutputRequest request;
    if (m_busy || !ReadInteger(m_rawPressure, request.pressure) ||
        !ReadInteger(m_rawSize, request.cycles) || !ReadInteger(m_rawSensor, request.sensor))
        return;
    if (!request.Valid()) {
        m_prompt.ShowMessage(DisplacementCalibration::kBadRawParameters, MessageIcon::Exclamation);
        return;
    }
    SetBusy(true);
    const auto result = RunCalibrationWork<RawOutputResult>(
        m_session,
        [request, folder = m_folders.rawData](ICalibrationDevice& device,
                                              const ProgressFn& progress) {
            return CollectRawOutput(device, request, folder, progress);
        },
        m_progress);
    SetBusy(false);
    if (!result) {
        m_prompt.ShowMessage(kCalibrationDeviceGone, MessageIcon::Error);
        return;
    }
    Show(TakeRawOutput(m_calibration, *result));
}

// --- opener ----------------------------------------------------------------------------------

bool OpenDisplacementCalibrationDialog(DialogSession& session, QWidget* parent,
                                       IUserPrompt* prompt) {
    const int factoryAccess = Settings::FactoryAccess();
    Settings::SetFactoryAccess(factoryAccess);
    const CalibrationFolders folders{Folders::Calibrations(), Folders::CalibrationBackup(),
                                     Folders::RawData()};
    std::unique_ptr<CWidgetPrompt> ownPrompt;
    if (!prompt) {
        ownPrompt = std::make_unique<CWidgetPrompt>();
        prompt = ownPrompt.get();
    }
    CDisplacementCalibrationDlg dialog(session, *prompt, folders, factoryAccess == 1, parent);
    if (ownPrompt)
        ownPrompt->SetParentWidget(&dialog);
    dialog.exec();
    return false;
}
