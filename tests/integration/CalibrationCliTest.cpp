// kelvastra-cli's calibration commands against the simulator: a displacement calibration at
// three spacer heights, and refusals that change nothing.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(CalibrationCli, ThreeHeightsGiveEveryWellItsPositionWithin15um) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const std::string session = ShellQuote((sim.Root() / "session.csv").string());
    for (int height : {500, 1000, 1500}) {
        ASSERT_EQ(sim.Control("spacer " + std::to_string(height)).rfind("ok", 0), 0u);
        for (int round = 0; round < 3; ++round)
            ASSERT_EQ(
                sim.Cli("calibrate collect " + std::to_string(height) + " --session " + session)
                    .status,
                0);
    }
    const CliRun analyzed = sim.Cli("calibrate analyze --session " + session);
    ASSERT_EQ(analyzed.status, 0) << analyzed.errors;
    EXPECT_EQ(analyzed.output.rfind("Factor\tWell 1\t", 0), 0u) << analyzed.output;
    ASSERT_EQ(sim.Cli("calibrate apply --session " + session).status, 0);
    EXPECT_EQ(ReadFile(sim.Card() / "POSCAL.INI"), "0\n0\n0\n0\n0\n0\n0\n0\n0");
    // Between and at the calibrated heights, the card's quadratics turn each well's reading into
    // the spacer height: the "Position N<TAB>VALUE" lines.
    for (int height : {500, 750, 1000, 1250, 1500}) {
        sim.Control("spacer " + std::to_string(height));
        std::istringstream lines(sim.Cli("sensors").output);
        int wells = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("Position ", 0) != 0)
                continue;
            ++wells;
            EXPECT_NEAR(std::stod(line.substr(line.find('\t') + 1)), height, 15.0) << line;
        }
        EXPECT_EQ(wells, 9) << height;
    }
}

TEST(CalibrationCli, RefusalsExitWithTheMessageAndChangeNothing) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const auto path = sim.Root() / "session.csv";
    const std::string session = ShellQuote(path.string());
    for (int height : {500, 500, 900})
        ASSERT_EQ(
            sim.Cli("calibrate collect " + std::to_string(height) + " --session " + session).status,
            0);
    const std::string before = ReadFile(path);
    const std::string card = ReadFile(sim.Card() / "MAGCAL.INI");
    const std::string offsets = ReadFile(sim.Card() / "POSCAL.INI");

    sim.Control("sensor-error 6 5");
    struct Case {
        std::string arguments;
        std::string says;
    };
    const Case cases[] = {
        {"calibrate collect 100 --session " + session, "channel 6 (Well 6) failed"},
        {"offsets set 100 --yes", "channel 6 (Well 6) failed"},
        {"calibrate analyze --session " + session, "Insufficient data to Analyze. \n"},
        {"calibrate apply --session " + session, "Nothing to Apply. Please Analyze first."},
        {"calibrate restore-factory", "Would you like to continue?"},
    };
    for (const Case& c : cases) {
        const CliRun run = sim.Cli(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << c.arguments << ": " << run.errors;
    }
    const CliRun sensors = sim.Cli("sensors --samples 3");
    EXPECT_EQ(sensors.status, 1);
    EXPECT_NE(sensors.output.find("Position 6\tfailed\n"), std::string::npos) << sensors.output;
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ReadFile(sim.Card() / "MAGCAL.INI"), card);
    EXPECT_EQ(ReadFile(sim.Card() / "POSCAL.INI"), offsets);

    // A session that cannot be read whole (why is the model's) is refused before anything is
    // collected or fitted, and stays as it was.
    sim.Control("sensor-error 6 off");
    const std::string broken = before + "spacer,1,2,3,4,5,6,7,8,9\r\n";
    WriteFile(path, broken);
    for (const char* step : {"calibrate collect 800 --session ", "calibrate analyze --session "}) {
        const CliRun run = sim.Cli(step + session);
        EXPECT_EQ(run.status, 1) << step;
        EXPECT_NE(run.errors.find("cannot be read whole: "), std::string::npos) << run.errors;
        EXPECT_EQ(ReadFile(path), broken) << step;
    }

    // Set points follow the card's hardware: 0.05 on a Hydrostatic membrane with a 0.1 MPa
    // regulator is half its range, and 5 is beyond it.
    WriteFile(sim.Card() / "INFOW.INI",
              "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 18.5\n"
              "MagnetStyle A100_25\nMembraneStyle Hydrostatic\nRegulatorType ITV1010\n"
              "SpringType GoldSpring_13mm_Diam\n");
    EXPECT_EQ(sim.Cli("setpoint 0.05").output, "Raw set point\t2050\n");
    EXPECT_EQ(sim.Cli("setpoint 5").status, 1);

    // A test that runs keeps the calibrations away.
    sim.Control("state 3");
    const CliRun busy = sim.Cli("calibrate read");
    EXPECT_EQ(busy.status, 1);
    EXPECT_EQ(busy.errors, "Cannot Access Displacement Calibration\nWhile Test is Running\n");
}

} // namespace
