#include "calibration/SensorSampling.h"

#include <charconv>
#include <cmath>

bool SensorSamples::Usable(int channel) const {
    return channel >= 0 && channel < kSensorChannels && sampled[channel] && !failed[channel] &&
           outcome != Outcome::Cancelled;
}

std::optional<int> ParseSensorReply(const std::string& reply) {
    std::size_t i = 0;
    while (i < reply.size() && (reply[i] == ' ' || reply[i] == '\t'))
        ++i;
    if (i < reply.size() && reply[i] == '+')
        ++i;
    int value = 0;
    const char* first = reply.data() + i;
    const auto result = std::from_chars(first, reply.data() + reply.size(), value);
    if (result.ec != std::errc() || result.ptr == first)
        return std::nullopt;
    return value;
}

SensorSamples SampleSensors(ICalibrationDevice& device, const std::vector<int>& channels,
                            int samples, bool stopAtFirstFailure, const ProgressFn& progress) {
    SensorSamples result;
    std::array<double, kSensorChannels> sum{};
    std::array<double, kSensorChannels> squares{};
    std::array<int, kSensorChannels> count{};
    for (int channel : channels)
        result.sampled[channel] = true;

    auto fail = [&](int channel) {
        result.failed[channel] = true;
        if (result.firstFailedChannel < 0)
            result.firstFailedChannel = channel;
        result.outcome = SensorSamples::Outcome::Failed;
    };

    for (int round = 0; round < samples; ++round) {
        for (int channel : channels) {
            if (result.failed[channel])
                continue;
            std::string reply;
            const int status = device.Query("0?D " + std::to_string(channel) + "\r", reply);
            const std::optional<int> value =
                status == 0 ? ParseSensorReply(reply) : std::optional<int>();
            if (!value) {
                fail(channel);
                if (stopAtFirstFailure)
                    return result;
                if (status == 1) {
                    // The line is down: every further query would only wait for its time-out.
                    for (int other : channels)
                        fail(other);
                    return result;
                }
                continue;
            }
            sum[channel] += *value;
            squares[channel] += static_cast<double>(*value) * *value;
            ++count[channel];
        }
        if (progress && !progress(round + 1, samples)) {
            result.outcome = SensorSamples::Outcome::Cancelled;
            return result;
        }
    }
    for (int channel : channels) {
        if (result.failed[channel] || count[channel] == 0)
            continue;
        const double n = count[channel];
        const double mean = sum[channel] / n;
        result.mean[channel] = mean;
        // Rounding can leave a hair below zero for constant readings.
        result.stdDev[channel] = std::sqrt(std::max(0.0, squares[channel] / n - mean * mean));
    }
    if (samples <= 0) {
        for (int channel : channels)
            fail(channel);
    }
    return result;
}

std::vector<int> WellsThenPressure() {
    return {1, 2, 3, 4, 5, 6, 7, 8, 9, kPressureChannel};
}

std::vector<int> WellChannels() {
    return {1, 2, 3, 4, 5, 6, 7, 8, 9};
}

std::string ChannelName(int channel) {
    return channel == kPressureChannel ? "the pressure sensor" : "Well " + std::to_string(channel);
}
