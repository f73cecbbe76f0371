// The line for the targets that read from the controller: the fuzz input arrives through a
// scripted channel in pieces whose sizes the input chooses (a size of 0 is a read that times
// out), so replies are cut at every place a platform read could cut them.
#pragma once

#include "FuzzInput.h"

#include "common/MessageLog.h"
#include "devicelink/ScriptedSerialChannel.h"

#include <algorithm>

// Takes the piece sizes off the front of the input: one byte giving how many (0 to 7; none, or
// only zeros, means the whole rest in one piece), then one byte per size.
inline std::vector<size_t> TakePieceSizes(FuzzInput& input) {
    std::vector<size_t> sizes(input.TakeByte() % 8);
    for (size_t& size : sizes)
        size = input.TakeByte();
    return sizes;
}

// Queues `bytes` on the line in pieces of the given sizes, in turn.
inline void QueueInPieces(ScriptedSerialChannel& line, std::string_view bytes,
                          const std::vector<size_t>& sizes) {
    if (std::all_of(sizes.begin(), sizes.end(), [](size_t size) { return size == 0; })) {
        line.Receive(std::string(bytes));
        return;
    }
    for (size_t i = 0; !bytes.empty(); i = (i + 1) % sizes.size()) {
        if (sizes[i] == 0) {
            line.ReceiveTimeout();
            continue;
        }
        const size_t n = std::min(sizes[i], bytes.size());
        line.Receive(std::string(bytes.substr(0, n)));
        bytes.remove_prefix(n);
    }
}

// Log messages (time-outs, error replies) are not echoed.
inline void QuietLog() {
    static const bool quiet = [] {
        MessageLog::Instance().SetEchoToStdout(false);
        return true;
    }();
    (void)quiet;
}
