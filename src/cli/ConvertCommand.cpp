#include "cli/Commands.h"

#include <CLI/CLI.hpp>

void AddConvertCommand(CLI::App& /*app*/, CliContext& /*context*/) {}
