// The CSV reader's lines and where they start, however the bytes arrive.
#include "recordings/CsvReader.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// "offset:line" for every line of `text`, read in pieces of at most `piece` bytes.
std::vector<std::string> Lines(const std::string& text, size_t piece, size_t chunk,
                               CsvLineEnds ends) {
    size_t at = 0;
    CsvLineReader reader(
        [&](char* buffer, size_t capacity) -> long long {
            const size_t n = std::min({piece, capacity, text.size() - at});
            text.copy(buffer, n, at);
            at += n;
            return static_cast<long long>(n);
        },
        chunk, ends);
    std::vector<std::string> lines;
    for (std::string_view line; reader.Next(line);)
        lines.push_back(std::to_string(reader.LineOffset()) + ":" + std::string(line));
    return lines;
}

TEST(CsvReader, LineEndsAndOffsetsWhateverThePieces) {
    const std::string mixed = "a,b\r\nc\rd\n\ne";
    for (const size_t piece : {size_t{1}, size_t{2}, size_t{100}}) {
        for (const size_t chunk : {size_t{1}, size_t{3}, size_t{1} << 20}) {
            SCOPED_TRACE(std::to_string(piece) + " " + std::to_string(chunk));
            EXPECT_EQ(Lines(mixed, piece, chunk, CsvLineEnds::Any),
                      (std::vector<std::string>{"0:a,b", "5:c", "7:d", "9:", "10:e"}));
            // The first end decides: a bare CR later stays inside its line.
            EXPECT_EQ(Lines(mixed, piece, chunk, CsvLineEnds::FirstDecides),
                      (std::vector<std::string>{"0:a,b", "5:c\rd", "9:", "10:e"}));
            EXPECT_EQ(Lines("x\ry\r\nz", piece, chunk, CsvLineEnds::FirstDecides),
                      (std::vector<std::string>{"0:x", "2:y", "4:\nz"}));
        }
    }
    EXPECT_EQ(SplitCsvFields("a,,b,"), (std::vector<std::string_view>{"a", "", "b", ""}));
}

} // namespace
