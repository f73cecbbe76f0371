// Reading comma-separated text (raw test data, converted files) in large chunks: lines are handed
// out in place, without copying, and a line longer than a chunk is read whole. Every CSV file the
// recordings read is opened by OpenCsvFile.
#pragma once

#include "common/RegularFile.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

// Opens a CSV file for binary reading; null with the system's reason in `error`. With
// `regularOnly` anything but a regular file is refused (a FIFO would block the reader).
UniqueFile OpenCsvFile(const std::filesystem::path& path, bool regularOnly, std::string& error);

// Gives the next raw bytes: how many were put into the buffer, 0 at the end of the input, -1
// when the input broke off.
using CsvSource = std::function<long long(char* buffer, size_t capacity)>;
// The bytes of an open file from its position on, at most `limit` of them (negative: all).
CsvSource FileSource(std::FILE* file, long long limit = -1);

enum class CsvLineEnds {
    // The first line end decides how every line ends ("\n", "\r\n" or a bare "\r"); a different
    // end later stays inside its line.
    FirstDecides,
    // Every line feed, carriage return, or the pair of them ends a line.
    Any,
};

class CsvLineReader {
public:
    // Bytes readable in front of and behind every line handed out, so that fields can be
    // scanned and numbers read a word at a time.
    static constexpr size_t kPad = 8;

    CsvLineReader(CsvSource source, size_t chunk, CsvLineEnds ends = CsvLineEnds::FirstDecides);

    // The next line without its line end; false at the end of the input, when reading failed
    // or when a line grows beyond the line limit.
    bool Next(const char*& first, const char*& last) {
        for (;;) {
            char* begin = m_buffer.data() + m_begin;
            const size_t available = m_end - m_begin;
            const char* stop = nullptr;
            size_t endLength = 1;
            if (m_ends == CsvLineEnds::Any) {
                stop = FindAnyEnd(begin, available, endLength);
            } else if (m_separator != 0 || DecideSeparator(begin, available)) {
                stop = static_cast<const char*>(std::memchr(begin, m_separator, available));
            }
            if (stop != nullptr) {
                first = begin;
                last = stop;
                m_line = m_begin;
                m_begin += static_cast<size_t>(stop - begin) + endLength;
                TrimCarriageReturn(first, last);
                return true;
            }
            if (m_atEnd) {
                if (available == 0)
                    return false;
                // The last line may lack its line end.
                first = begin;
                last = begin + available;
                m_line = m_begin;
                m_begin = m_end;
                TrimCarriageReturn(first, last);
                return true;
            }
            if (available > m_maxLine) {
                m_tooLong = true;
                return false;
            }
            Refill();
        }
    }
    bool Next(std::string_view& line) {
        const char* first = nullptr;
        const char* last = nullptr;
        if (!Next(first, last))
            return false;
        line = std::string_view(first, static_cast<size_t>(last - first));
        return true;
    }

    // The input offset of the first byte of the line given last.
    long long LineOffset() const { return m_base + static_cast<long long>(m_line - kPad); }
    // The input offset just behind the line end of the line given last.
    long long Consumed() const { return m_base + static_cast<long long>(m_begin - kPad); }
    bool Failed() const { return m_failed; }
    // Whether the reading stopped at a line longer than the limit.
    bool TooLong() const { return m_tooLong; }
    void SetLineLimit(size_t limit) { m_maxLine = limit; }

private:
    // False when the buffer does not show yet how lines end.
    bool DecideSeparator(const char* begin, size_t available);
    const char* FindAnyEnd(const char* begin, size_t available, size_t& endLength);
    static void TrimCarriageReturn(const char* first, const char*& last) {
        if (last != first && last[-1] == '\r')
            --last;
    }
    void Refill();

    CsvSource m_source;
    size_t m_chunk;
    CsvLineEnds m_ends;
    std::vector<char> m_buffer;
    size_t m_begin = kPad;
    size_t m_end = kPad;
    size_t m_line = kPad;
    long long m_base = 0; // input offset of m_buffer[kPad]
    // Where the next line feed and carriage return are (Any): m_end when none is in the buffer,
    // kUnknown when not searched for since the buffer changed.
    static constexpr size_t kUnknown = std::numeric_limits<size_t>::max();
    size_t m_nextLf = kUnknown;
    size_t m_nextCr = kUnknown;
    size_t m_maxLine = std::numeric_limits<size_t>::max();
    bool m_atEnd = false;
    bool m_failed = false;
    bool m_tooLong = false;
    char m_separator = 0; // not known yet
};

// The end of the field that starts at `field`: the next comma, or `last`. The eight bytes from
// `field` on are read, which every line of a CsvLineReader allows.
inline const char* CsvFieldEnd(const char* field, const char* last) {
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t word;
        std::memcpy(&word, field, 8);
        const uint64_t commas = word ^ uint64_t { 0x2C2C2C2C2C2C2C2C };
        // The lowest byte that was a comma has its top bit set here.
        const uint64_t found =
            (commas - uint64_t{0x0101010101010101}) & ~commas & uint64_t{0x8080808080808080};
        if (found != 0) {
            const char* comma = field + std::countr_zero(found) / 8;
            return comma < last ? comma : last;
        }
        if (last - field <= 8)
            return last;
        field += 8;
    }
    const auto* comma =
        static_cast<const char*>(std::memchr(field, ',', static_cast<size_t>(last - field)));
    return comma != nullptr ? comma : last;
}

// The fields of a line split at every comma (a line ending in a comma has an empty last field;
// an empty line has one empty field).
std::vector<std::string_view> SplitCsvFields(std::string_view line);
