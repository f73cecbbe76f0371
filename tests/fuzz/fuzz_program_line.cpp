// Read-back lines of the controller's program table ("0I"), one after the other into a table
// as the program reads them, then the table as it would go out again.
#include "FuzzInput.h"

#include "protocol/DeviceProgram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    // The first byte is where the table is already filled to (past its end included).
    size_t index = input.TakeByte() % (kDeviceProgramEntries + 2);
    DeviceProgramTable table;
    ClearDeviceProgram(table);
    for (const std::string& line : input.RestLinesEndedBy('\r')) {
        if (ParseProgramLine(line, index++, table) == kProgramLineEnd)
            break;
    }
    for (const DeviceProgramEntry& entry : table) {
        FormatProgramLine(entry);
        TimeUnitsFromFlags(entry.flags);
        TimeUnitsDivisorMs(entry.flags);
        FunctionFromShapeLetter(entry.shapeCode);
        DataTypeFromLetter(entry.dataTypeCode);
        DataFrequencyFromLetter(entry.dataRateCode);
    }
    ProgramUploadLines(table);
    return 0;
}
