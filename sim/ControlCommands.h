// The simulator's control commands as one table: each verb's usage text serves both the help and
// the "error usage: ..." reply, so the two cannot drift apart.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Simulator;

// The words of a line, split at blanks.
std::vector<std::string> Words(const std::string& line);

// One control line as the handlers read it.
struct ControlLine {
    const std::string& text;
    std::vector<std::string> words;
    double nowMs = 0;

    bool Is(size_t i, std::string_view word) const { return words.size() > i && words[i] == word; }
    bool Int(size_t i, long long& value) const;
    bool Double(size_t i, double& value) const;
    // The text after the first `skip` words, as typed.
    std::string Rest(size_t skip) const;
};

struct ControlCommand {
    std::string_view verb;
    // What "error usage: " names, and the help's first column unless `listed` is given.
    std::string_view usage;
    // The help's second column (more lines after "\n"); empty for a verb another row lists.
    std::string_view help;
    std::string_view listed;
    // The reply without the "kelvastra-sim: " prefix; nothing for a usage error.
    std::optional<std::string> (*run)(Simulator& simulator, const ControlLine& line);
};

// Every control command, in the order the help lists them.
const std::vector<ControlCommand>& ControlCommands();

} // namespace sim
