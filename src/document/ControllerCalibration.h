// The calibrations' view of the controller: the device link's exchanges and card files behind
// the calibration code's small interface. Used on the thread that owns the controller (the
// device worker in the desktop program).
#pragma once

#include "calibration/CalibrationDevice.h"

class Controller;

class ControllerCalibrationDevice : public ICalibrationDevice {
public:
    explicit ControllerCalibrationDevice(Controller& controller) : m_controller(controller) {}

    int Query(const std::string& line, std::string& reply) override;
    int Command(const std::string& line) override;
    std::vector<std::string> ReadFileLines(const std::string& name) override;
    CardFileWrite WriteCoefficientFile(const std::array<double, 3 * kWellCount>& values,
                                       const std::string& name) override;
    CardFileWrite WritePositionOffsets(const std::array<int32_t, kWellCount>& offsets) override;
    CardFileWrite ResetPositionOffsets(bool evenIfStopped) override;
    bool ReadRawTrace(int sensor, int setpoint, int samples, std::vector<uint32_t>& times,
                      std::vector<uint16_t>& readings) override;
    HardwareDescription& Hardware() override;
    void SleepMs(int ms) override;
    double NowMs() override;

private:
    CardFileWrite Outcome(int result) const;

    Controller& m_controller;
};
