#include "app/AboutDlg.h"

#include "app/ToolbarArt.h"
#include "devicelink/Controller.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

QSize ScaledSize(QSize size, double scale) {
    return {static_cast<int>(std::floor(size.width() * scale)),
            static_cast<int>(std::floor(size.height() * scale))};
}

CAboutDlg::CAboutDlg(double displayScale, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Kelvastra"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_picture = new QLabel;
    const QSize size = ScaledSize(ToolbarArt::kAboutSize, displayScale);
    m_picture->setPixmap(ToolbarArt::AboutPicture(size));
    m_picture->setFixedSize(size);

    m_version = new QLabel(QString::fromLatin1(Controller::kSoftwareVersion));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_picture);
    layout->addWidget(m_version);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
