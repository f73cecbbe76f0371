#include "cli/Commands.h"

#include <CLI/CLI.hpp>

void AddProgramCommands(CLI::App& /*app*/, CliContext& /*context*/) {}
