// Text files come with carriage-return-and-line-feed, bare line-feed or bare carriage-return
// line ends, depending on where they were written; every reader takes all three.
#pragma once

#include <string_view>
#include <vector>

// The lines of `text` without their line ends. A final line end ends the last line; it does
// not start an empty one.
std::vector<std::string_view> SplitTextLines(std::string_view text);
