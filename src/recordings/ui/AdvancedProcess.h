// "Process External Data": asks whether the test data dialog should work on a copy of the
// controller's card in a folder of this computer instead of the card itself.
#pragma once

#include <QDialog>

class QCheckBox;

class CAdvancedProcess : public QDialog {
    Q_OBJECT
public:
    explicit CAdvancedProcess(QWidget* parent = nullptr);

    // The check box "Process Data that is not on the device" (off when the dialog opens).
    bool ProcessExternal() const;
    QCheckBox* CheckBox() const { return m_check; }

private:
    QCheckBox* m_check = nullptr;
};
