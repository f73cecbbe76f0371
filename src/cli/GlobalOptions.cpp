#include "cli/Commands.h"

#include <CLI/CLI.hpp>

void AddGlobalOptions(CLI::App& app, CliContext& context)
{
    app.add_option("--port", context.port, "Serial port of the controller (skips discovery)");
}
