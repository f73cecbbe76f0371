// Column specification strings of the report list: "Title, width, align;Title, width;...".
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class ColumnAlign { Left = 0, Center = 1, Right = 2 };

struct ColumnSpec {
    std::string title;
    int width = 100;
    ColumnAlign align = ColumnAlign::Left;

    bool operator==(const ColumnSpec&) const = default;
};

// Entries are separated by ';', fields by ','. A missing or non-numeric width gives 100; the
// alignment code 1 centres, 2 right-aligns, anything else left-aligns. Empty entries are skipped.
// Blanks around the fields are ignored.
std::vector<ColumnSpec> ParseColumnSpec(std::string_view spec);
