// Reply bytes of the simulated firmware, command group by command group, driven in-process.
#include "Firmware.h"
#include "CardSeed.h"
#include "SimTestSupport.h"

#include "protocol/DeviceProgram.h"
#include "common/NumberText.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

using simtest::Joined;

namespace {

const std::string kEnd(1, '\x17');

class FirmwareTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim::SeedCard(card, 4050, 1100));
        firmware = std::make_unique<sim::Firmware>(card);
    }
    std::string Send(const std::string& bytes) { return Joined(firmware->Feed(bytes, now)); }
    // Sends a command and gives its first reply line's leading integer.
    int Reading(const std::string& command) { return std::atoi(Send(command).c_str()); }
    void Wait(double ms) {
        now += ms;
        firmware->Tick(now);
    }

    TempFolder dir;
    sim::SimCard card{dir.Path()};
    std::unique_ptr<sim::Firmware> firmware;
    double now = 1000;
};

// What the program makes of record 2: the number at "VERSION" + 7, times 1000.
int ProgramFirmwareCode(const std::string& record) {
    std::string upper = UpperAscii(record);
    size_t at = upper.find("VERSION");
    if (at == std::string::npos) {
        return -1;
    }
    float value = static_cast<float>(LeadingDouble(record.substr(at + 7, 8)));
    return static_cast<int>(std::lround(value * 1000.0));
}

TEST_F(FirmwareTest, IdentityRecordsCarryTheVersionsAsTheProgramReadsThem) {
    EXPECT_EQ(Send("0?R 0\r"), "Kelvastra Controller\r");
    EXPECT_EQ(Send("0?R 3\r"), "Hardware = 1100\r");
    EXPECT_EQ(Send("0?R 4\r").back(), '\r');
    EXPECT_EQ(Send("0?R 5\r"), "Error 2\r");
    for (int code : {4050, 1540, 1539, 74050, 12345}) {
        firmware->SetFirmwareVersion(code);
        std::string reply = Send("0?R 2\r");
        ASSERT_EQ(reply.back(), '\r');
        EXPECT_EQ(ProgramFirmwareCode(reply.substr(0, reply.size() - 1)), code) << reply;
    }
    firmware->SetHardwareVersion(999);
    std::string record3 = Send("0?R 3\r");
    EXPECT_EQ(LeadingInt(record3.substr(UpperAscii(record3).find("HARDWARE") + 11)), 999);

    firmware->SetIdentity(1, "Serial 42");
    EXPECT_EQ(Send("0?R 1\r"), "Serial 42\r");
    firmware->SetIdentity(1, std::nullopt);
    EXPECT_NE(Send("0?R 1\r"), "Serial 42\r");
}

TEST_F(FirmwareTest, RunStateCapacityAndPlainCommands) {
    struct Case {
        const char* command;
        const char* reply;
    } cases[] = {
        {"0?S\r", "0\r"},
        {"0?V\r", "3866624\r"},
        {"0A 250\r", "OK\r"},
        {"0R 1\r", "OK\r"},
        {"0R 0\r", "OK\r"},
        {"0H\r", "OK\r"},
        {"0Q\r", "Error 1\r"},
        {"hello\r", "Error 1\r"},
        {"\r", "Error 1\r"},
        {"0A\r", "Error 2\r"},
        {"0?D 10\r", "Error 2\r"},
        {"0?D -1\r", "Error 2\r"},
        {"0Z 10 5 5\r", "Error 2\r"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Send(c.command), c.reply) << c.command;
    }
    firmware->ForceRunState(4);
    EXPECT_EQ(Send("0?S\r"), "4\r");
    firmware->SetCapacityKb(1000000);
    EXPECT_EQ(Send("0?V\r"), "1000000\r");
}

TEST_F(FirmwareTest, CommandLinesMayArriveInPiecesAndTogether) {
    EXPECT_EQ(Send("0?"), "");
    EXPECT_EQ(Send("S\r0?V\r"), "0\r3866624\r");
    // A line feed left before a command does not spoil it.
    EXPECT_EQ(Send("\n0?S\r"), "0\r");
}

TEST_F(FirmwareTest, LiveReadingsFollowTheSetPointThroughTheProgramsModel) {
    HardwareDescription hardware;
    const ForceModel program = simtest::CardForceModel(dir.Path(), hardware);

    // At rest every well reads position 0 and the pressure reads 0.
    EXPECT_NEAR(*program.ActualPressure(Reading("0?D 0\r")), 0.0, 0.002);
    for (int well = 1; well <= 9; ++well) {
        EXPECT_NEAR(*program.Position(well, Reading("0?D " + std::to_string(well) + "\r")), 0.0,
                    25.0);
    }

    // 0.1 MPa through the open valve.
    double setpoint = std::floor(0.1 / program.PressureScale() + 0.5);
    EXPECT_EQ(Send("0R 1\r"), "OK\r");
    EXPECT_EQ(Send("0A " + std::to_string(int(setpoint)) + "\r"), "OK\r");
    Wait(20);
    double early = *program.ActualPressure(Reading("0?D 0\r"));
    EXPECT_LT(early, 0.05) << "the regulator needs time to get there";
    Wait(2000);
    EXPECT_NEAR(*program.ActualPressure(Reading("0?D 0\r")), 0.1, 0.002);

    sim::Plant& plant = firmware->LivePlant();
    for (int well = 1; well <= 9; ++well) {
        double truth = plant.WellPositionUm(well);
        double shown = *program.Position(well, Reading("0?D " + std::to_string(well) + "\r"));
        EXPECT_GT(truth, 300.0) << well;
        EXPECT_LT(truth, 3000.0) << well;
        EXPECT_NEAR(shown, truth, 25.0) << well;
    }
    // The reference spring in well 1 balances the membrane force.
    double x1 = plant.WellPositionUm(1);
    EXPECT_NEAR(plant.SpringForce(x1) + 0.002 * x1, plant.MembraneForce(0.1, x1), 0.05);
    EXPECT_NE(std::lround(x1), std::lround(plant.WellPositionUm(2)));

    // Closing the valve takes the load off the wells, not the regulator.
    EXPECT_EQ(Send("0R 0\r"), "OK\r");
    EXPECT_NEAR(*program.Position(5, Reading("0?D 5\r")), 0.0, 25.0);
    EXPECT_NEAR(*program.ActualPressure(Reading("0?D 0\r")), 0.1, 0.002);
}

TEST_F(FirmwareTest, HardwareIsReloadedFromInfowAfterH) {
    HardwareDescription qb3;
    qb3.RegulatorType = Regulator::QB3_20;
    std::string text = HardwareBlockText(qb3);
    Send("0X INFOW.INI\r");
    EXPECT_EQ(Send("0W INFOW.INI\r"), "OK\r");
    for (size_t at = 0; at < text.size(); at += 60) {
        EXPECT_EQ(Send(text.substr(at, 60) + "\r"), "OK\r");
    }
    EXPECT_EQ(Send(kEnd + "\r"), "OK\r");
    EXPECT_EQ(Send("0H\r"), "OK\r");
    EXPECT_EQ(firmware->LivePlant().Hardware().RegulatorType, Regulator::QB3_20);
    ForceModel program(qb3);
    EXPECT_NEAR(*program.ActualPressure(Reading("0?D 0\r")), 0.0, 0.001);
}

TEST_F(FirmwareTest, FileWriteReadAndDeleteFrameEveryStep) {
    std::string content(121, 'x');
    content[59] = '\n';
    content[60] = '\n'; // pieces start and end inside lines
    EXPECT_EQ(Send("0W new.txt\r"), "OK\r");
    for (size_t at = 0; at < content.size(); at += 60) {
        EXPECT_EQ(Send(content.substr(at, 60) + "\r"), "OK\r");
    }
    EXPECT_EQ(Send(kEnd + "\r"), "OK\r");
    // Stored upper case as a card shows it, found in any case.
    EXPECT_EQ(ReadFile(dir.Path() / "NEW.TXT"), content);
    EXPECT_EQ(Send("0F New.Txt\r"), "OK\r" + content + kEnd);

    // The firmware appends: the program deletes before writing.
    Send("0W NEW.TXT\r");
    Send("abc\r");
    Send(kEnd + "\r");
    EXPECT_EQ(ReadFile(dir.Path() / "NEW.TXT"), content + "abc");

    EXPECT_EQ(Send("0X new.TXT\r"), "OK\rDeleted\r");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "NEW.TXT"));
    EXPECT_EQ(Send("0X NEW.TXT\r"), "OK\rError 3\r");
    // A missing file still ends with the end byte, so a reader waiting for it returns.
    EXPECT_EQ(Send("0F NEW.TXT\r"), "Error 3\r" + kEnd);

    // An empty content creates an empty file.
    EXPECT_EQ(Send("0W EMPTY.INI\r"), "OK\r");
    EXPECT_EQ(Send(kEnd + "\r"), "OK\r");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "EMPTY.INI"));
    EXPECT_EQ(Send("0F EMPTY.INI\r"), "OK\r" + kEnd);
}

TEST_F(FirmwareTest, WriteModeTakesCommandLookingLinesAsContent) {
    Send("0W NOTE.TXT\r");
    EXPECT_EQ(Send("0X NAME.INI\r"), "OK\r");
    EXPECT_EQ(Send("0?S\r"), "OK\r");
    Send(kEnd + "\r");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "NAME.INI"));
    EXPECT_EQ(ReadFile(dir.Path() / "NOTE.TXT"), "0X NAME.INI0?S");
    EXPECT_EQ(Send("0?S\r"), "0\r");
}

TEST_F(FirmwareTest, UnsafeNamesNeverLeaveTheCard) {
    for (const char* name : {"../OUT.TXT", "/etc/passwd", "A//B", "..", "SUB/../../X"}) {
        EXPECT_EQ(Send(std::string("0F ") + name + "\r"), "Error 3\r" + kEnd) << name;
        EXPECT_EQ(Send(std::string("0X ") + name + "\r"), "OK\rError 3\r") << name;
        EXPECT_EQ(Send(std::string("0W ") + name + "\r"), "Error 2\r") << name;
        EXPECT_EQ(Send("data\r"), "Error 4\r") << "content is dropped";
        EXPECT_EQ(Send(kEnd + "\r"), "Error 4\r");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path().parent_path() / "OUT.TXT"));
}

TEST_F(FirmwareTest, ListingFormatFollowsTheFirmwareVersion) {
    std::string listing = Send("0L\r");
    ASSERT_EQ(listing.substr(0, 3), "OK\r");
    EXPECT_EQ(listing.back(), '\x17');
    auto lines = simtest::Lines(listing.substr(3, listing.size() - 4));
    size_t csv = std::string::npos;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("DATA0001.CSV") != std::string::npos) {
            csv = i;
        }
    }
    ASSERT_NE(csv, std::string::npos);
    auto size = std::filesystem::file_size(dir.Path() / "DATA0001.CSV");
    EXPECT_EQ(lines[csv], std::to_string(size) + " DATA0001.CSV");

    firmware->SetFirmwareVersion(1539);
    listing = Send("0L\r");
    EXPECT_NE(listing.find("[F0_" + std::to_string(size) + "]DATA0001.CSV\n"), std::string::npos)
        << listing;
}

TEST_F(FirmwareTest, RawTraceSamplesThePressureAsItRises) {
    std::string reply = Send("0Z 0 1000 53\r");
    ASSERT_EQ(reply.substr(0, 3), "OK\r");
    ASSERT_EQ(reply.back(), '\x17');
    auto lines = simtest::Lines(reply.substr(3, reply.size() - 4));
    ASSERT_EQ(lines.size(), 53u);
    unsigned long previousTime = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::istringstream fields(lines[i]);
        unsigned long time = 0, value = 0;
        ASSERT_TRUE(fields >> time >> value) << lines[i];
        if (i > 0) {
            EXPECT_GT(time, previousTime);
        }
        previousTime = time;
    }
    EXPECT_EQ(lines[0].substr(0, 2), "0 ");
    double first = std::atof(lines[0].substr(lines[0].find(' ')).c_str());
    double last = std::atof(lines.back().substr(lines.back().find(' ')).c_str());
    EXPECT_GT(last, first + 50) << "the reading climbs toward the set point";
}

TEST_F(FirmwareTest, InjectedRepliesStandInForTheCommandWithoutActingOnIt) {
    firmware->InjectReplies("Error 97", 2);
    EXPECT_EQ(Send("0X NAME.INI\r"), "Error 97\r");
    EXPECT_EQ(Send("0X NAME.INI\r"), "Error 97\r");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "NAME.INI"));
    EXPECT_EQ(Send("0X NAME.INI\r"), "OK\rDeleted\r");

    // Faults the program must survive: no number, lower case.
    firmware->InjectReplies("Error", 1);
    firmware->InjectReplies("error 5", 1);
    EXPECT_EQ(Send("0?S\r"), "Error\r");
    EXPECT_EQ(Send("0?S\r"), "error 5\r");
    EXPECT_EQ(Send("0?S\r"), "0\r");

    // A busy reply in the middle of a write: the repeated piece is stored once.
    Send("0W BUSY.TXT\r");
    firmware->InjectReplies("Error 97", 1);
    EXPECT_EQ(Send("piece\r"), "Error 97\r");
    EXPECT_EQ(Send("piece\r"), "OK\r");
    Send(kEnd + "\r");
    EXPECT_EQ(ReadFile(dir.Path() / "BUSY.TXT"), "piece");
}

TEST_F(FirmwareTest, EndByteRidesWithTheLastContentOrComesApart) {
    auto joined = firmware->Feed("0F NAME.INI\r", now);
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[0].bytes, "OK\r");
    EXPECT_FALSE(joined[0].transfer);
    EXPECT_EQ(joined[1].bytes, "Sample" + kEnd);
    EXPECT_TRUE(joined[1].transfer);

    firmware->SetEndByteApart(true, 40);
    auto apart = firmware->Feed("0F NAME.INI\r", now);
    ASSERT_EQ(apart.size(), 3u);
    EXPECT_EQ(apart[1].bytes, "Sample");
    EXPECT_EQ(apart[2].bytes, kEnd);
    EXPECT_EQ(apart[2].delayMs, 40);
    EXPECT_TRUE(apart[2].transfer);
}

TEST(Plant, WellsTravelOnEveryMembraneAndReadBackThroughTheirLaw) {
    for (int membrane : {Membrane::M70A_794um, Membrane::M10A_794um}) {
        for (int version : {1000, 1800}) {
            HardwareDescription hardware;
            hardware.MembraneStyle = membrane;
            hardware.SpringType = Spring::NoSpring;
            sim::Plant plant;
            plant.SetHardware(hardware, version);
            plant.SetValveOpen(true);
            // A pressure that gives the membrane's own 12 N-like load.
            double mpa = membrane == Membrane::M10A_794um ? 0.6 : (version >= 1800 ? 0.05 : 0.1);
            plant.SetSetpoint(plant.SetpointForPressure(mpa));
            plant.Settle();
            for (int well = 1; well <= 9; ++well) {
                double x = plant.WellPositionUm(well);
                EXPECT_GT(x, 200.0) << membrane << " " << version << " " << well;
                EXPECT_LT(x, 3000.0) << membrane << " " << version << " " << well;
                const sim::WellLaw& law = plant.Laws()[size_t(well - 1)];
                double r = plant.SensorCounts(well);
                EXPECT_NEAR(law.Position(r), x, 1e-6);
            }
        }
    }
}

TEST(Plant, SensorLawsAgreeWithTheBuiltInTableAndTheSeededFits) {
    auto laws = sim::DefaultWellLaws();
    std::array<int32_t, 9> offsets{};
    std::array<double, 27> coefficients{};
    for (size_t w = 0; w < laws.size(); ++w) {
        offsets[w] = laws[w].mountOffsetUm;
        auto fit = sim::FitQuadratic(laws[w]);
        std::copy(fit.begin(), fit.end(), coefficients.begin() + std::ptrdiff_t(3 * w));
    }
    HardwareDescription hardware; // A10x2.5 magnet, gold spring: the simulated board
    SpringModel gold(hardware.SpringType);
    ForceModel builtIn(offsets, std::nullopt, hardware, &gold);
    ForceModel calibrated(offsets, coefficients, hardware);
    for (int well = 1; well <= 9; ++well) {
        const sim::WellLaw& law = laws[size_t(well - 1)];
        for (double um = 0; um <= 2000; um += 50) {
            double reading = law.Reading(um);
            EXPECT_NEAR(*builtIn.Position(well, reading), um, 1e-6) << well << " " << um;
            if (um <= 1500) {
                // A quadratic fit of the sensor over the range in use, as a calibration gives.
                EXPECT_NEAR(*calibrated.Position(well, reading), um, 15.0) << well << " " << um;
            }
        }
    }
}

} // namespace
