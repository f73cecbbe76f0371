// Conversion of a recorded test data file (raw controller counts, one line per sample) into a CSV
// file of engineering units: positions, pressures and membrane forces, with the reference-spring
// correction applied set by set and cycle by cycle. The download runs it twice over each file:
// a short form for the user and a full form for the test logs.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hardware/HardwareDescription.h"

class CycleSummary;
class ForceModel;

// Column kinds of the input and output files.
namespace ColumnCode {
enum : int {
    Time = 0,
    Set = 1,
    SetName = 2,
    Cycle = 3,
    SpecifiedPressure = 4,
    ActualPressure = 5,
    FactoryForce1 = 7, // to 15 for well 9
    Position1 = 16,    // to 24 for well 9
    SpringForce = 34,
    CalibratedForce1 = 35, // to 43 for well 9
    Unrecognised = 44
};
} // namespace ColumnCode

// What ConvertFile reports. The output is written beside its target and replaces it only when
// the whole conversion went through; on any failure the target keeps what it held.
enum ConvertResult : int {
    ConvertSuccess = 0,
    ConvertInputNotOpened = -1,  // nothing written, the output untouched
    ConvertOutputNotOpened = -2, // nothing written
    ConvertReadFailed = -3,
    ConvertWriteFailed = -4, // disk full or similar
    ConvertNotTestData = -5, // empty, no column the conversion knows, or not text: nothing written
};

// Spring force value that means "no value" (written as "--").
inline constexpr double kNoSpringForce = 999888.0;

// One data line. Values that the hardware cannot give (no table for them) are NaN and are
// written as empty cells.
// The decimals the converter writes the measured columns with.
inline constexpr int kPressureDecimals = 4;
inline constexpr int kPositionDecimals = 0;
inline constexpr int kForceDecimals = 2;

struct DataRecord {
    int time = 0;
    int set = 0;
    int cycle = 0;
    std::string name;
    double specifiedPressure = 0.0;
    double actualPressure = 0.0;
    std::array<double, kWellCount> position{};
    std::array<double, kWellCount> force{};
    std::array<double, kWellCount> calibratedForce{};
    double springForce = 0.0;
};

// The column code of an input header field: the first keyword it contains decides.
int MapHeader(std::string_view field);
// The output columns for the input columns, in input order.
std::vector<int> SelectColumns(const std::vector<int>& inputCodes, bool hydrostatic,
                               bool springValid, bool springModelValid, bool fullPass);
// The output header text of a column ("Position 3 (um)"); empty for an unknown code.
std::string ColumnTitle(int code);

// Called with the data-line count after every 1000 data lines.
using ConvertProgress = std::function<void(int dataLines)>;

// Converts `input` into `output` with `model` (and its spring model, when it has one). The
// model's running state (latest actual pressure, data-line counter) starts afresh.
// `springValid` adds the "(calibrated)" columns and runs the spring correction; `fullPass` adds
// the pressure columns and the spring force. Only one group of records is ever held in memory.
// `summary`, when given (and open), gets the header and every row as written; the caller commits
// it once the conversion went through.
int ConvertFile(ForceModel& model, const std::filesystem::path& input,
                const std::filesystem::path& output, bool springValid, bool fullPass,
                const ConvertProgress& progress = {}, CycleSummary* summary = nullptr);

// Gives the next raw bytes: how many were put into the buffer, 0 at the end of the input, -1
// when the input broke off (the output is then left alone).
using ConvertSource = std::function<long long(char* buffer, size_t capacity)>;
// ConvertFile over bytes that arrive from elsewhere (a download on its way). `writeError`, when
// given, receives the system's error number of a failed write (ENOSPC: the disk is full).
int ConvertStream(ForceModel& model, const ConvertSource& source,
                  const std::filesystem::path& output, bool springValid, bool fullPass,
                  const ConvertProgress& progress = {}, int* writeError = nullptr,
                  CycleSummary* summary = nullptr);

// The pieces of a conversion, exposed for tests and for callers that convert text themselves.
class RecordConverter {
public:
    explicit RecordConverter(ForceModel& model);

    // Reads one field of the given column code into the record (leading-integer numbers).
    void ParseField(int code, const char* first, const char* last, DataRecord& record);
    // The same for a field of which the eight bytes before `last` may be read (inside the
    // caller's buffer), which lets numbers be read a word at a time.
    void ParseBufferedField(int code, const char* first, const char* last, DataRecord& record);
    void ParseField(int code, std::string_view field, DataRecord& record) {
        ParseField(code, field.data(), field.data() + field.size(), record);
    }
    // The reference-spring correction of one group (one set and cycle); does nothing without a
    // valid spring model.
    void CorrectGroup(std::vector<DataRecord>& group, size_t count) const;
    void CorrectGroup(std::vector<DataRecord>& group) const { CorrectGroup(group, group.size()); }

    bool SpringModelValid() const { return m_springValid; }

private:
    friend int ConvertStream(ForceModel&, const ConvertSource&, const std::filesystem::path&, bool,
                             bool, const ConvertProgress&, int*, CycleSummary*);

    template <bool Padded>
    void ParseFieldAs(int code, const char* first, const char* last, DataRecord& record);

    ForceModel& m_model;
    bool m_hydrostatic;
    bool m_springValid;
    double m_springLow = 0.0;  // marginUm
    double m_springHigh = 0.0; // travelUm - marginUm
};
