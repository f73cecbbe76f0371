#include "app/DoctorDlg.h"

#include "devicelink/Doctor.h"
#include "document/ThreadMailbox.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QVBoxLayout>

CDoctorDlg::CDoctorDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Why is the controller not found?"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_report = new QPlainTextEdit(QStringLiteral("Checking..."));
    m_report->setReadOnly(true);
    m_report->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_report);
    layout->addWidget(buttons);
    resize(720, 420);

    m_checks = std::thread([self = QPointer<CDoctorDlg>(this)] {
        const std::string text = DoctorReportText(RunDoctor(DoctorSystem::FromEnvironment()));
        ThreadMailbox::Main().Post([self, text] {
            if (self)
                self->ShowReport(QString::fromStdString(text));
        });
    });
}

CDoctorDlg::~CDoctorDlg() {
    m_checks.join();
}

void CDoctorDlg::ShowReport(const QString& text) {
    m_report->setPlainText(text);
    m_checked = true;
}
