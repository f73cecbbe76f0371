// Serial's three reads over whatever the controller sends: reply lines of a given capacity,
// file lines up to the end byte, and raw transfers up to the end byte, in an order the input
// chooses, until the line has nothing more.
#include "FuzzLine.h"

#include "devicelink/Serial.h"

#include <memory>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietLog();
    FuzzInput input(data, size);
    const std::vector<size_t> sizes = TakePieceSizes(input);
    const uint8_t steps = input.TakeByte();
    const int capacity = input.TakeByte();

    auto channel = std::make_unique<ScriptedSerialChannel>();
    ScriptedSerialChannel& line = *channel;
    Serial serial(std::move(channel));
    serial.Open("fuzz", false, false, true, true, -1);
    QueueInPieces(line, input.Rest(), sizes);

    // A read of a silent line returns at once, so every pass takes at least one piece.
    for (int pass = 0; line.PendingPieces() > 0 && pass < 4096; ++pass) {
        std::string text;
        std::vector<std::string> lines;
        std::string tail;
        std::ostringstream out;
        int count = 0;
        long long bytes = 0;
        switch ((steps >> (2 * (pass % 4))) & 3) {
        case 0:
            serial.ReadLine(text, Serial::kTextLineLength, count);
            break;
        case 1:
            serial.ReadLine(text, capacity, count);
            break;
        case 2:
            serial.ReadLines(lines, count, (pass & 4) ? &tail : nullptr);
            break;
        default:
            serial.ReadToStream(out, bytes, [](long long) {});
            break;
        }
    }
    serial.Close();
    return 0;
}
