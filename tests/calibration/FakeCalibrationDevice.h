// A stand-in for the controller behind the calibration code: readings per channel, card files
// in memory, and every command line recorded.
#pragma once

#include "calibration/CalibrationDevice.h"
#include "common/NumberText.h"

#include <map>
#include <string>
#include <vector>

struct FakeCalibrationDevice : ICalibrationDevice {
    std::vector<std::string> lines;  // every command line, in order
    std::map<int, double> readings;  // "0?D n" answers; unset channels read 1000
    std::map<int, int> sensorErrors; // channel -> error number answered
    int alternate = 0;               // readings go +/- this on alternate samples
    std::map<std::string, std::vector<std::string>> files;
    std::map<std::string, std::array<double, 3 * kWellCount>> coefficientFiles;
    std::map<std::string, CardFileWrite::State> writeStates; // per file; others are replaced
    int failTraceAt = -1; // the trace request (counted from 0) that fails
    HardwareDescription hardware;
    double clock = 0;

    int Query(const std::string& line, std::string& reply) override {
        lines.push_back(line);
        const int channel = LeadingInt(line.substr(4));
        if (sensorErrors.count(channel))
            return sensorErrors[channel];
        const double base = readings.count(channel) ? readings[channel] : 1000.0;
        const int sign = (m_samples[channel]++ % 2) ? -1 : 1;
        reply = std::to_string(static_cast<int>(base) + sign * alternate);
        return 0;
    }
    int Command(const std::string& line) override {
        lines.push_back(line);
        return 0;
    }
    std::vector<std::string> ReadFileLines(const std::string& name) override {
        return files.count(name) ? files[name] : std::vector<std::string>{};
    }
    CardFileWrite WriteCoefficientFile(const std::array<double, 3 * kWellCount>& values,
                                       const std::string& name) override {
        lines.push_back("write " + name);
        const CardFileWrite written = Written(name);
        if (written.Replaced())
            coefficientFiles[name] = values;
        return written;
    }
    CardFileWrite WritePositionOffsets(const std::array<int32_t, kWellCount>& offsets) override {
        lines.push_back("write POSCAL.INI");
        const CardFileWrite written = Written("POSCAL.INI");
        if (written.Replaced())
            writtenOffsets.push_back(offsets);
        return written;
    }
    CardFileWrite ResetPositionOffsets(bool evenIfStopped) override {
        lines.push_back(evenIfStopped ? "reset POSCAL.INI to the end" : "reset POSCAL.INI");
        const CardFileWrite written = Written("POSCAL.INI");
        if (written.Replaced())
            hardware.positionOffsets = std::array<int32_t, kWellCount>{};
        return written;
    }
    bool ReadRawTrace(int sensor, int setpoint, int samples, std::vector<uint32_t>& times,
                      std::vector<uint16_t>& values) override {
        lines.push_back("0Z " + std::to_string(sensor) + " " + std::to_string(setpoint) + " " +
                        std::to_string(samples));
        if (m_traces++ == failTraceAt)
            return false;
        for (int i = 0; i < samples; ++i) {
            times[i] = static_cast<uint32_t>(100 * i);
            values[i] = static_cast<uint16_t>(setpoint + i);
        }
        clock += 10;
        return true;
    }
    HardwareDescription& Hardware() override { return hardware; }
    void SleepMs(int ms) override { lines.push_back("sleep " + std::to_string(ms)); }
    double NowMs() override { return clock; }

    std::vector<std::array<int32_t, kWellCount>> writtenOffsets;

private:
    CardFileWrite Written(const std::string& name) const {
        const auto state =
            writeStates.count(name) ? writeStates.at(name) : CardFileWrite::State::Replaced;
        return {state, state == CardFileWrite::State::Replaced ? "" : name + " problem."};
    }

    std::map<int, int> m_samples;
    int m_traces = 0;
};
