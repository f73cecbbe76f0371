#include "recordings/CsvReader.h"

#include "common/platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

UniqueFile OpenCsvFile(const std::filesystem::path& path, bool regularOnly, std::string& error) {
    if (regularOnly)
        return OpenRegularFile(path, error);
    UniqueFile file(platform::OpenFile(path, "rb"));
    if (!file)
        error = std::strerror(errno);
    return file;
}

CsvSource FileSource(std::FILE* file, long long limit) {
    return [file, limit](char* buffer, size_t capacity) mutable -> long long {
        if (limit >= 0)
            capacity =
                static_cast<size_t>(std::min<long long>(static_cast<long long>(capacity), limit));
        if (capacity == 0)
            return 0;
        const size_t got = std::fread(buffer, 1, capacity, file);
        if (got == 0 && std::ferror(file))
            return -1;
        if (limit >= 0)
            limit -= static_cast<long long>(got);
        return static_cast<long long>(got);
    };
}

CsvLineReader::CsvLineReader(CsvSource source, size_t chunk, CsvLineEnds ends)
    : m_source(std::move(source)), m_chunk(std::max<size_t>(chunk, 1)), m_ends(ends),
      m_buffer(kPad + m_chunk + kPad, '0') {}

bool CsvLineReader::DecideSeparator(const char* begin, size_t available) {
    const void* cr = std::memchr(begin, '\r', available);
    const void* lf = std::memchr(begin, '\n', available);
    const char* end = begin + available;
    if (cr != nullptr && (lf == nullptr || cr < lf)) {
        const char* after = static_cast<const char*>(cr) + 1;
        if (after == end && !m_atEnd)
            return false; // a line feed may follow in the next chunk
        m_separator = after != end && *after == '\n' ? '\n' : '\r';
        return true;
    }
    if (lf != nullptr || m_atEnd) {
        m_separator = '\n';
        return true;
    }
    return false;
}

const char* CsvLineReader::FindAnyEnd(const char* begin, size_t available, size_t& endLength) {
    // Where each of the two comes next is kept, so that a file that never holds one of them is
    // not searched through again for every line.
    const auto next = [&](char c, size_t& at) {
        if (at == kUnknown || at < m_begin) {
            const void* found = std::memchr(begin, c, available);
            at = found ? static_cast<size_t>(static_cast<const char*>(found) - m_buffer.data())
                       : m_end;
        }
        return at;
    };
    const size_t stop = std::min(next('\n', m_nextLf), next('\r', m_nextCr));
    if (stop == m_end)
        return nullptr;
    endLength = 1;
    if (m_buffer[stop] == '\r') {
        if (stop + 1 == m_end && !m_atEnd)
            return nullptr; // a line feed may follow in the next chunk
        endLength = stop + 1 < m_end && m_buffer[stop + 1] == '\n' ? 2 : 1;
    }
    return m_buffer.data() + stop;
}

void CsvLineReader::Refill() {
    // Keep the unfinished line at the front; a line longer than the buffer grows it.
    const size_t kept = m_end - m_begin;
    if (m_begin > kPad && kept > 0)
        std::memmove(m_buffer.data() + kPad, m_buffer.data() + m_begin, kept);
    m_base += static_cast<long long>(m_begin - kPad);
    m_begin = kPad;
    m_line = kPad;
    m_end = kPad + kept;
    m_nextLf = m_nextCr = kUnknown;
    if (m_buffer.size() - kPad - m_end < std::max<size_t>(m_chunk / 2, 1))
        m_buffer.resize(m_buffer.size() * 2);
    const long long got = m_source(m_buffer.data() + m_end, m_buffer.size() - kPad - m_end);
    if (got <= 0) {
        m_atEnd = true;
        m_failed = got < 0;
        return;
    }
    m_end += static_cast<size_t>(got);
}

std::vector<std::string_view> SplitCsvFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t comma = line.find(',');
        fields.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos)
            return fields;
        line.remove_prefix(comma + 1);
    }
}
