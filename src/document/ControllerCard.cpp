#include "document/ControllerCard.h"

#include "devicelink/Controller.h"

bool ControllerCard::ListDataFiles(std::vector<TestDataFile>& files) {
    std::vector<std::string> lines;
    const int result = m_controller.ReadCardListing(lines);
    files = ParseCardListing(lines, m_controller.hardware.FirmwareVersion);
    return result == 1;
}

int ControllerCard::ReadFirstLine(const std::string& name, std::string& line) {
    return m_controller.ReadFirstLine(name, line);
}

int ControllerCard::Fetch(const std::string& name, const ByteSink& sink, long long& bytes,
                          const ByteProgress& progress) {
    if (m_controller.DownloadInto(name, sink, bytes, progress) == 1)
        return 1;
    return LineDown(m_controller) ? kLineDown : 0;
}

int ControllerCard::Delete(const std::string& name) {
    if (m_controller.DeleteCardFile(name) == 1)
        return 1;
    if (LineDown(m_controller))
        return kLineDown;
    // The controller refuses to delete what is not there as it refuses what it cannot delete:
    // the listing tells the two apart.
    std::vector<std::string> lines;
    if (m_controller.ReadCardListing(lines) != 1)
        return -1;
    return ListedSize(lines, m_controller.hardware.FirmwareVersion, name) ? -1 : 0;
}

ResultSource ControllerCard::SourceOf(const std::string&) {
    ResultSource source;
    source.serial = m_controller.SerialNumber();
    if (!m_controller.infoLines.empty())
        source.firmware = std::to_string(m_controller.hardware.FirmwareVersion);
    return source;
}

int CardCapacityKb(Controller& controller) {
    int capacity = 0;
    return controller.QueryInteger("0?V\r", capacity) == 0 ? capacity : -1;
}

bool LineDown(const Controller& controller) {
    if (!controller.serial.IsOpen())
        return true;
    switch (controller.lastResult) {
    case Serial::kNotOpen:
    case Serial::kWriteFailure:
    case Serial::kReadFailure:
        return true;
    default:
        return false;
    }
}

CardAccess CheckCardAccess(Controller& controller) {
    if (!controller.serial.IsOpen())
        return CardAccess::LineDown;
    int state = 0;
    if (controller.QueryInteger(Controller::kRunStateQuery, state) != 0)
        return LineDown(controller) ? CardAccess::LineDown : CardAccess::NoAnswer;
    return state == Controller::kRunStateRunning || state == Controller::kRunStatePaused
               ? CardAccess::TestRunning
               : CardAccess::Ready;
}
