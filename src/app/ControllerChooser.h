// The Device button's chooser: which of several controllers on this computer the program talks
// to. The choice is a serial number, kept in the settings and handed to the document's watch.
#pragma once

#include "devicelink/PortInfo.h"

#include <QDialog>

#include <string>
#include <vector>

class CKelvastraDoc;
class QListWidget;

class CControllerChooser : public QDialog {
    Q_OBJECT
public:
    // One row per controller ("SERIAL   PORT   DESCRIPTION"); the row of `current` selected,
    // else the first.
    CControllerChooser(const std::vector<PortInfo>& controllers, const std::string& current,
                       QWidget* parent = nullptr);
    // The selected controller's serial number; empty when the list is empty.
    std::string ChosenSerial() const;
    QListWidget* List() const { return m_list; }

private:
    std::vector<PortInfo> m_controllers;
    QListWidget* m_list = nullptr;
};

// The controllers present, each with its serial number (boards not yet known are asked).
std::vector<PortInfo> PresentControllers();
// When more than one controller is present, or the chosen one is absent while another is
// there (or `always`): shows the chooser and, on OK, keeps the choice in the settings and gives
// it to the document. True when a choice was made.
bool ChooseController(CKelvastraDoc& document, const std::vector<PortInfo>& controllers,
                      bool always, QWidget* parent);
