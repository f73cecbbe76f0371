// Live readings of the pressure sensor (channel 0) and the nine position sensors (channels 1 to
// 9), averaged over a number of samples. A failed query never enters an average: the channel is
// marked failed instead.
#pragma once

#include "calibration/CalibrationDevice.h"
#include "common/Progress.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

inline constexpr int kSensorChannels = 10;
inline constexpr int kPressureChannel = 0;
inline constexpr int kSamplesPerReading = 100;

struct SensorSamples {
    enum class Outcome {
        Complete,  // every query of every asked channel answered with a number
        Failed,    // a query failed (see failed[] and firstFailedChannel)
        Cancelled, // the progress function asked to stop
    };
    Outcome outcome = Outcome::Complete;
    int firstFailedChannel = -1;
    std::array<bool, kSensorChannels> sampled{}; // the channel was asked for
    std::array<bool, kSensorChannels> failed{};
    std::array<double, kSensorChannels> mean{};
    std::array<double, kSensorChannels> stdDev{};

    // Sampled, not failed, and the sampling was not cancelled.
    bool Usable(int channel) const;
};

// What a reply to "0?D n" holds: its leading decimal integer, or nothing when it does not start
// with one (an unexpected reply is no reading).
std::optional<int> ParseSensorReply(const std::string& reply);

// Takes `samples` rounds; each round queries the channels in the given order ("0?D %d\r"). With
// `stopAtFirstFailure` the first failed query ends the sampling (a collection or an offset
// calibration cannot use any of it); otherwise a channel whose query fails is marked failed and
// left out of the later rounds, and a failed line (no reply at all) ends the sampling with every
// channel failed. The progress function sees (rounds done, samples) after each round.
SensorSamples SampleSensors(ICalibrationDevice& device, const std::vector<int>& channels,
                            int samples, bool stopAtFirstFailure, const ProgressFn& progress = {});

// Channels 1 to 9, then 0: the order of a collection and of a refresh.
std::vector<int> WellsThenPressure();
std::vector<int> WellChannels();

// "Well 3" or "the pressure sensor", for messages about channel `channel`.
std::string ChannelName(int channel);
