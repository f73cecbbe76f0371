#include "app/ControllerChooser.h"

#include "devicelink/Controller.h"
#include "document/KelvastraDoc.h"
#include "document/Settings.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

CControllerChooser::CControllerChooser(const std::vector<PortInfo>& controllers,
                                       const std::string& current, QWidget* parent)
    : QDialog(parent), m_controllers(controllers) {
    setWindowTitle(QStringLiteral("Choose Controller"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Controllers on this computer:"), this));
    m_list = new QListWidget(this);
    int selected = 0;
    for (std::size_t i = 0; i < controllers.size(); ++i) {
        const PortInfo& port = controllers[i];
        const std::string serial = port.serialNumber.empty() ? "?" : port.serialNumber;
        m_list->addItem(
            QString::fromStdString(serial + "   " + port.portName + "   " + port.description));
        if (!current.empty() && port.serialNumber == current)
            selected = static_cast<int>(i);
    }
    m_list->setCurrentRow(controllers.empty() ? -1 : selected);
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // A board that could not be asked has no number to keep.
    const auto update = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!ChosenSerial().empty());
    };
    connect(m_list, &QListWidget::currentRowChanged, this, update);
    connect(m_list, &QListWidget::itemActivated, this, [this] {
        if (!ChosenSerial().empty())
            accept();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    update();
    m_list->setFocus();
}

std::string CControllerChooser::ChosenSerial() const {
    const int row = m_list->currentRow();
    if (row < 0 || row >= static_cast<int>(m_controllers.size()))
        return {};
    return m_controllers[static_cast<std::size_t>(row)].serialNumber;
}

std::vector<PortInfo> PresentControllers() {
    // A controller of its own: the document's belongs to the worker. The one the worker has
    // open is not asked again; its number is known since it connected.
    Controller lister;
    return lister.FindControllers(true);
}

bool ChooseController(CKelvastraDoc& document, const std::vector<PortInfo>& controllers,
                      bool always, QWidget* parent) {
    const std::string current = document.ControllerChoice();
    const bool currentPresent =
        std::any_of(controllers.begin(), controllers.end(),
                    [&](const PortInfo& port) { return port.serialNumber == current; });
    const bool needed =
        controllers.size() > 1 || (!current.empty() && !currentPresent && !controllers.empty());
    if (!always && !needed)
        return false;
    CControllerChooser chooser(controllers, current, parent);
    if (chooser.exec() != QDialog::Accepted || chooser.ChosenSerial().empty())
        return false;
    Settings::SetChosenController(chooser.ChosenSerial());
    document.SetControllerChoice(chooser.ChosenSerial());
    return true;
}
