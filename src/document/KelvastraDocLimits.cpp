// The limits the set editor, File Save and Program Device apply when no controller is connected:
// those of the controller connected last (kept in the settings), of a protocol file's
// "##HARDWARE" block, or the default description; and the line of the status bar that says which.
#include "document/KelvastraDoc.h"

#include "document/Settings.h"
#include "protocol/SetEditRules.h"

#include <sstream>

namespace {

// The components the set rules can depend on; versions and calibration tables aside.
bool SameFittedHardware(const HardwareDescription& a, const HardwareDescription& b) {
    return a.MagnetStyle == b.MagnetStyle && a.MembraneStyle == b.MembraneStyle &&
           a.RegulatorType == b.RegulatorType && a.SpringType == b.SpringType &&
           a.WellDepth_mm == b.WellDepth_mm;
}

} // namespace

void CKelvastraDoc::UseRememberedController() {
    m_rememberController = true;
    const Settings::RememberedController last = Settings::LastController();
    if (last.hardwareBlock.rfind(kHardwareBlockTag, 0) != 0)
        return;
    std::lock_guard lock(m_dataMutex);
    std::istringstream in(last.hardwareBlock);
    ReadLeadingHardwareBlock(in, m_controller.hardware);
    m_controller.hardware.hardwareVersion = last.hardwareVersion;
    SetLimitsSource(LimitsSource::LastController, last.serialNumber);
    PublishHardware();
}

void CKelvastraDoc::SetLimitsSource(LimitsSource source, std::string name) {
    m_limitsSource = source;
    m_limitsName = std::move(name);
}

void CKelvastraDoc::RememberController() {
    if (!m_rememberController)
        return;
    Settings::RememberedController controller;
    {
        std::lock_guard lock(m_dataMutex);
        controller = {m_linkSerial, m_controller.hardware.hardwareVersion,
                      HardwareBlockText(m_controller.hardware)};
    }
    Settings::SetLastController(controller);
}

void CKelvastraDoc::TakeControllerLimits(const HardwareDescription& before) {
    HardwareDescription hardware;
    {
        std::lock_guard lock(m_dataMutex);
        m_linkSerial = m_controller.SerialNumber();
        SetLimitsSource(LimitsSource::Controller, m_linkSerial);
        PublishHardware();
        hardware = m_controller.hardware;
    }
    RememberController();
    if (!m_view || SameFittedHardware(before, hardware))
        return;
    // The sets were made against other limits: what this controller refuses is said now, not
    // first at Program Device.
    const std::string problems = SequenceRuleProblems(m_view->ShownSequence(), hardware);
    if (!problems.empty())
        m_view->AppendMessage("Warning:  Program Device will refuse this protocol on the "
                              "connected controller's hardware:\n" +
                              problems);
}

void CKelvastraDoc::KeepLastControllerLimits() {
    std::lock_guard lock(m_dataMutex);
    if (m_limitsSource == LimitsSource::Controller)
        SetLimitsSource(LimitsSource::LastController, m_linkSerial);
    PublishHardware();
}

std::string CKelvastraDoc::LinkStatusText() const {
    const HardwareCopy copy = PublishedHardware();
    if (m_bDeviceConnected)
        return copy.linkSerial.empty() ? "Controller connected" : "Controller " + copy.linkSerial;
    // With a controller chosen among several, the watch leaves the others alone: say which one
    // it waits for and where the choice is changed, or a present controller looks ignored.
    const std::string choice = ControllerChoice();
    const std::string missing =
        choice.empty() ? "No controller"
                       : "Controller " + choice + " not found (Hardware > Choose Controller...)";
    if (copy.limitsSource == LimitsSource::Defaults)
        return choice.empty() ? "No controller found" : missing;
    const std::string name = copy.limitsName.empty() ? "the last controller" : copy.limitsName;
    return missing + ": limits of " + name + " (" + RegulatorCode(copy.hardware.RegulatorType) +
           ", " + MembraneCode(copy.hardware.MembraneStyle) + ")";
}
