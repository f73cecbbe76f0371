// The converter's output side: records written as CSV lines into a large buffer that goes out
// in big pieces. Kept in a header so that the per-record loop is inlined into the conversion.
#pragma once

#include "recordings/ConvertFile.h"
#include "recordings/CycleSummary.h"
#include "recordings/NumberFormat.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

inline bool IsWellColumn(int code, int first) {
    return code >= first && code < first + kWellCount;
}

// Collects output text in one large buffer and writes it out in big pieces.
class OutputBuffer {
public:
    // Output goes out in pieces small enough to stay in the cache while the kernel copies them.
    static constexpr size_t kBufferSize = size_t{1} << 17;

    explicit OutputBuffer(std::FILE* file) : m_file(file), m_buffer(kBufferSize) {}

    // Room for `size` more bytes at Cursor().
    char* Reserve(size_t size) {
        if (m_buffer.size() - m_used < size) {
            Flush();
            if (m_buffer.size() < size) {
                m_buffer.resize(size);
            }
        }
        return m_buffer.data() + m_used;
    }
    void Commit(char* end) { m_used = static_cast<size_t>(end - m_buffer.data()); }

    void Append(const char* text, size_t size) {
        char* at = Reserve(size);
        std::memcpy(at, text, size);
        Commit(at + size);
    }
    void Append(std::string_view text) { Append(text.data(), text.size()); }

    void Flush() {
        if (m_used > 0 && std::fwrite(m_buffer.data(), 1, m_used, m_file) != m_used && !m_failed) {
            m_failed = true;
            m_error = errno;
        }
        m_used = 0;
    }

    bool Failed() const { return m_failed; }
    int Error() const { return m_error; }

private:
    std::FILE* m_file;
    std::vector<char> m_buffer;
    size_t m_used = 0;
    bool m_failed = false;
    int m_error = 0;
};

// Writes one record's cells for the output codes, comma separated, ending with "\r\n".
// A value the hardware could not give (NaN) or that is not finite is written as an empty cell.
class RecordWriter {
public:
    RecordWriter(OutputBuffer& out, const std::vector<int>& codes, CycleSummary* summary = nullptr)
        : m_out(out), m_summary(summary) {
        // Decoded once, so that the per-record loop is a plain switch.
        for (int code : codes) {
            Cell cell{};
            int well = 0;
            if (IsWellColumn(code, ColumnCode::Position1)) {
                cell = Cell::Position;
                well = code - ColumnCode::Position1;
            } else if (IsWellColumn(code, ColumnCode::FactoryForce1)) {
                cell = Cell::Force;
                well = code - ColumnCode::FactoryForce1;
            } else if (IsWellColumn(code, ColumnCode::CalibratedForce1)) {
                cell = Cell::Calibrated;
                well = code - ColumnCode::CalibratedForce1;
            } else {
                switch (code) {
                case ColumnCode::Time:
                    cell = Cell::Time;
                    break;
                case ColumnCode::Set:
                    cell = Cell::Set;
                    break;
                case ColumnCode::Cycle:
                    cell = Cell::Cycle;
                    break;
                case ColumnCode::SetName:
                    cell = Cell::Name;
                    break;
                case ColumnCode::SpecifiedPressure:
                    cell = Cell::SpecifiedPressure;
                    break;
                case ColumnCode::ActualPressure:
                    cell = Cell::ActualPressure;
                    break;
                case ColumnCode::SpringForce:
                    cell = Cell::Spring;
                    break;
                default:
                    continue; // never selected for output
                }
            }
            // A well's position, factory and calibrated force usually follow each other: one
            // step writes the three.
            const size_t n = m_cells.size();
            if (cell == Cell::Calibrated && n >= 2 && m_cells[n - 1].cell == Cell::Force &&
                m_cells[n - 1].well == well && m_cells[n - 2].cell == Cell::Position &&
                m_cells[n - 2].well == well) {
                m_cells.resize(n - 2);
                cell = Cell::WellTriple;
            }
            m_cells.push_back({cell, static_cast<uint8_t>(well)});
        }
        m_bound = codes.size() * (fastnum::kMaxFixedLength + 1) + 2;
    }

    void WriteGroup(const std::vector<DataRecord>& group, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            Write(group[i]);
        }
    }

    void Write(const DataRecord& record) {
        char* out = m_out.Reserve(m_bound + record.name.size());
        for (const Op& op : m_cells) {
            switch (op.cell) {
            case Cell::Time:
                out = fastnum::FormatUnsigned(out, static_cast<uint32_t>(record.time));
                break;
            case Cell::Set:
                out = fastnum::FormatUnsigned(out, static_cast<uint32_t>(record.set));
                break;
            case Cell::Cycle:
                out = fastnum::FormatUnsigned(out, static_cast<uint32_t>(record.cycle));
                break;
            case Cell::Name:
                std::memcpy(out, record.name.data(), record.name.size());
                out += record.name.size();
                break;
            case Cell::SpecifiedPressure:
                out = Number<kPressureDecimals>(out, record.specifiedPressure);
                break;
            case Cell::ActualPressure:
                out = Number<kPressureDecimals>(out, record.actualPressure);
                break;
            case Cell::Spring:
                if (record.springForce == kNoSpringForce) {
                    out[0] = '-';
                    out[1] = '-';
                    out += 2;
                } else {
                    out = Number<2>(out, record.springForce);
                }
                break;
            case Cell::Position:
                out = Number<kPositionDecimals>(out, record.position[op.well]);
                break;
            case Cell::Force:
                out = Number<kForceDecimals>(out, record.force[op.well]);
                break;
            case Cell::Calibrated:
                out = Number<kForceDecimals>(out, record.calibratedForce[op.well]);
                break;
            case Cell::WellTriple:
                out = Number<kPositionDecimals>(out, record.position[op.well]);
                *out++ = ',';
                out = Number<kForceDecimals>(out, record.force[op.well]);
                *out++ = ',';
                out = Number<kForceDecimals>(out, record.calibratedForce[op.well]);
                break;
            }
            *out++ = ',';
        }
        if (m_summary) {
            m_summary->Record(record);
        }
        // The last separator becomes the line end.
        if (!m_cells.empty()) {
            --out;
        }
        out[0] = '\r';
        out[1] = '\n';
        m_out.Commit(out + 2);
    }

private:
    enum class Cell : uint8_t {
        Time,
        Set,
        Cycle,
        Name,
        SpecifiedPressure,
        ActualPressure,
        Spring,
        Position,
        Force,
        Calibrated,
        WellTriple // position, factory force, calibrated force of one well
    };
    struct Op {
        Cell cell;
        uint8_t well;
    };

    template <int Precision> [[gnu::always_inline]] static char* Number(char* out, double value) {
        return fastnum::FormatFixedOrEmpty<Precision>(out, value);
    }

    OutputBuffer& m_out;
    CycleSummary* m_summary;
    std::vector<Op> m_cells;
    size_t m_bound = 2;
};
