#include "controls/ColumnSpec.h"

#include <charconv>

namespace {

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

// Leading-number reading: "120px" is 120, "" or "x" gives nothing.
bool LeadingInt(std::string_view text, int& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end != text.data();
}

} // namespace

std::vector<ColumnSpec> ParseColumnSpec(std::string_view spec) {
    std::vector<ColumnSpec> columns;
    for (std::string_view entry : Split(spec, ';')) {
        if (Trim(entry).empty())
            continue;
        const auto fields = Split(entry, ',');
        ColumnSpec column;
        column.title = std::string(Trim(fields[0]));
        int width = 0;
        if (fields.size() > 1 && LeadingInt(fields[1], width))
            column.width = width;
        int align = 0;
        if (fields.size() > 2 && LeadingInt(fields[2], align)) {
            if (align == 1)
                column.align = ColumnAlign::Center;
            else if (align == 2)
                column.align = ColumnAlign::Right;
        }
        columns.push_back(std::move(column));
    }
    return columns;
}
