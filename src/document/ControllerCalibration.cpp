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

bool ControllerCalibrationDevice::WriteCoefficientFile(
    const std::array<double, 3 * kWellCount>& values, const std::string& name) {
    return m_controller.WriteCoefficientFile(values, name) == 1;
}

bool ControllerCalibrationDevice::WritePositionOffsets(
    const std::array<int32_t, kWellCount>& offsets) {
    // The card appends to an existing file, so the old one goes first; it may not be there.
    m_controller.DeleteCardFile(kOffsetsFile);
    return m_controller.WriteCardFile(kOffsetsFile, PositionOffsetsText(offsets)) == 1;
}

bool ControllerCalibrationDevice::ResetPositionOffsets() {
    return m_controller.ResetPositionOffsets() == 1;
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
