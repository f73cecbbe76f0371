// kelvastra-cli: the program's operations without a window.
#include "cli/Commands.h"

#include "common/Interruption.h"
#include "devicelink/TrafficRecorder.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QGuiApplication>

#include <clocale>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // Printouts draw text, which needs the font machinery of a GUI application; it draws
    // offscreen, so a terminal without a display serves as well.
    std::unique_ptr<QCoreApplication> app;
    if (CommandNeedsGui(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The platform's start-up notes (a missing runtime folder) are not the user's business.
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type == QtCriticalMsg || type == QtFatalMsg)
                    std::fprintf(stderr, "%s\n", qPrintable(text));
            });
        app = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(previous);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Qt takes the number format from the environment; files and wire texts need the C one.
    std::setlocale(LC_NUMERIC, "C");
    // Ctrl-C or a termination request during a card write or program upload ends that transfer
    // properly before the port closes; at any other moment it ends the program at once.
    interruption::InstallSignalHandlers();
    CLI::App cli{"Kelvastra command-line program"};
    cli.require_subcommand(1);
    cli.set_help_all_flag("--help-all", "Show help for every subcommand");

    // A trace that stops early (a full disk) is said where the user looks, whatever the
    // command prints.
    TrafficRecorder::Shared().SetStopNotice([](const std::string& text) {
        std::fprintf(stderr, "kelvastra-cli: %s", text.c_str());
        std::fflush(stderr);
    });
    CliContext context;
    AddGlobalOptions(cli, context);
    AddProtocolCommands(cli, context);
    AddConvertCommand(cli, context);
    AddDeviceCommands(cli, context);
    AddProgramCommands(cli, context);
    AddDoctorCommand(cli, context);
    AddCalibrationCommands(cli, context);
    AddDataCommands(cli, context);
    AddMonitorCommand(cli, context);
    AddReportCommands(cli, context);

    int status = context.exitCode;
    try {
        cli.parse(argc, argv);
        status = context.exitCode;
    } catch (const CLI::ParseError& e) {
        status = cli.exit(e) == 0 ? 0 : 2;
    }
    if (const int signal = interruption::Pending()) {
        std::fprintf(stderr, "kelvastra-cli: interrupted\n");
        status = 128 + signal;
    }
    // The last bytes of the traffic record go out before the process does.
    TrafficRecorder::Shared().Stop();
    return status;
}
