#include "recordings/ui/AdvancedProcess.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

CAdvancedProcess::CAdvancedProcess(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Process External Data"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_check = new QCheckBox(QStringLiteral("Process Data that is not on the device"));
    m_check->setChecked(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_check);
    for (const char* text :
         {"Check this to Process Raw Data ", "that has been copied from the device SD card",
          "Onto a computer location.", "You will be prompted for a data location."})
        layout->addWidget(new QLabel(QString::fromLatin1(text)));
    layout->addWidget(buttons);
}

bool CAdvancedProcess::ProcessExternal() const {
    return m_check->isChecked();
}
