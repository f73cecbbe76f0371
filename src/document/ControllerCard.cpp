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
    return m_controller.DownloadInto(name, sink, bytes, progress) == 1 ? 1 : 0;
}

int ControllerCard::Delete(const std::string& name) {
    return m_controller.DeleteCardFile(name) == 1 ? 1 : -1;
}

int CardCapacityKb(Controller& controller) {
    int capacity = 0;
    return controller.QueryInteger("0?V\r", capacity) == 0 ? capacity : -1;
}
