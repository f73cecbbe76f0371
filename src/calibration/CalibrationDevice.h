// What the calibrations need of the controller. The program implements it over the device link
// (on the device worker, which owns the line); the tests implement it with a scripted stand-in.
// Command lines are built here in the calibration code; the card file formats of MAGCAL.INI and
// POSCAL.INI belong to the device link.
#pragma once

#include "hardware/HardwareDescription.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What rewriting a card file left on the card. A rewrite that fails writes the old content back,
// so only a failed restore leaves the file missing or incomplete.
struct CardFileWrite {
    enum class State { Replaced, Kept, Damaged };
    State state = State::Kept;
    std::string problem; // what went wrong and what the file holds now; empty when replaced

    bool Replaced() const { return state == State::Replaced; }
    // The card no longer holds what it held before.
    bool Changed() const { return state != State::Kept; }
};

class ICalibrationDevice {
public:
    virtual ~ICalibrationDevice() = default;

    // One command line and its one reply line. 0 success (the reply in `reply`), 1 when the line
    // failed (write, read or time-out), otherwise the controller's error number.
    virtual int Query(const std::string& line, std::string& reply) = 0;
    // As Query, without the reply.
    virtual int Command(const std::string& line) = 0;

    // The card file's lines (none when it is missing or the transfer failed).
    virtual std::vector<std::string> ReadFileLines(const std::string& name) = 0;
    // The 27 factors as the content of the card calibration file of that name.
    virtual CardFileWrite WriteCoefficientFile(const std::array<double, 3 * kWellCount>& values,
                                               const std::string& name) = 0;
    // POSCAL.INI with these offsets.
    virtual CardFileWrite WritePositionOffsets(const std::array<int32_t, kWellCount>& offsets) = 0;
    // POSCAL.INI with nine zeros; the offsets in memory follow when the card holds them (the
    // table is created when absent). With `evenIfStopped` a stop request does not keep it from
    // being written: the offsets must not outlive the calibration they were set against.
    virtual CardFileWrite ResetPositionOffsets(bool evenIfStopped) = 0;
    // "0Z sensor setpoint samples": up to `samples` pairs of time offset (us) and raw reading.
    // False when the exchange failed or fewer pairs came than asked for.
    virtual bool ReadRawTrace(int sensor, int setpoint, int samples, std::vector<uint32_t>& times,
                              std::vector<uint16_t>& readings) = 0;

    // The connected controller's description with its two calibration tables.
    virtual HardwareDescription& Hardware() = 0;

    // The waits between commands, and a millisecond clock for time stamps.
    virtual void SleepMs(int ms) = 0;
    virtual double NowMs() = 0;
};
