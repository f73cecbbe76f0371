#include "document/ControllerCalibration.h"

#include "devicelink/Controller.h"

#include <chrono>
#include <thread>

namespace {
constexpr const char* kOffsetsFile = "POSCAL.INI";
}

int ControllerCalibrationDevice::Query(const std::string& line, std::string& reply) {
    int length = 0;
    return m_controller.Query(line, reply, Controller::kRecordCapacity, length);
}

int ControllerCalibrationDevice::Command(const std::string& line) {
    return m_controller.Command(line);
}

std::vector<std::string> ControllerCalibrationDevice::ReadFileLines(const std::string& name) {
    std::vector<std::string> lines;
    m_controller.ReadFileLines(name, lines);
    return lines;
}

CardFileWrite ControllerCalibrationDevice::Outcome(int result) const {
    if (result == Controller::kCardReplaced)
        return {CardFileWrite::State::Replaced, {}};
    return {result == Controller::kCardKept ? CardFileWrite::State::Kept
                                            : CardFileWrite::State::Damaged,
            m_controller.WriteProblem()};
}

CardFileWrite
ControllerCalibrationDevice::WriteCoefficientFile(const std::array<double, 3 * kWellCount>& values,
                                                  const std::string& name) {
    return Outcome(m_controller.WriteCoefficientFile(values, name));
}

CardFileWrite
ControllerCalibrationDevice::WritePositionOffsets(const std::array<int32_t, kWellCount>& offsets) {
    return Outcome(m_controller.ReplaceCardFile(kOffsetsFile, PositionOffsetsText(offsets)));
}

CardFileWrite ControllerCalibrationDevice::ResetPositionOffsets(bool evenIfStopped) {
    return Outcome(m_controller.ResetPositionOffsets(evenIfStopped ? Controller::OnStop::Finish
                                                                   : Controller::OnStop::Abandon));
}

bool ControllerCalibrationDevice::ReadRawTrace(int sensor, int setpoint, int samples,
                                               std::vector<uint32_t>& times,
                                               std::vector<uint16_t>& readings) {
    std::size_t received = 0;
    const int result =
        m_controller.ReadRawTrace(sensor, setpoint, samples, times, readings, &received);
    return result == 1 && received == static_cast<std::size_t>(samples);
}

HardwareDescription& ControllerCalibrationDevice::Hardware() {
    return m_controller.hardware;
}

void ControllerCalibrationDevice::SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double ControllerCalibrationDevice::NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
