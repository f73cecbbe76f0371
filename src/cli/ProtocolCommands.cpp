#include "cli/Commands.h"

#include <CLI/CLI.hpp>

void AddProtocolCommands(CLI::App& /*app*/, CliContext& /*context*/) {}
