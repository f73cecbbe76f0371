#include "cli/Commands.h"

#include <CLI/CLI.hpp>

void AddDeviceCommands(CLI::App& /*app*/, CliContext& /*context*/) {}
