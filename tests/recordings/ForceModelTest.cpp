#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

HardwareDescription Hardware(int magnet, int membrane, int regulator, int hardwareVersion) {
    HardwareDescription d;
    d.MagnetStyle = magnet;
    d.MembraneStyle = membrane;
    d.RegulatorType = regulator;
    d.hardwareVersion = hardwareVersion;
    return d;
}

// Reference values come from model_reference.py (data/model_reference.tsv), one evaluation per
// line. The evaluation order is the same, so only the last bits may differ; rounding faults show
// up as whole steps (>= 0.00001).
TEST(ForceModelReference, EveryModelAgainstTheIndependentReference) {
    std::ifstream in(KELVASTRA_SOURCE_DIR "/tests/recordings/data/model_reference.tsv");
    ASSERT_TRUE(in.is_open());
    std::array<double, 27> coefficients{};
    std::map<std::string, int> counts;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        std::vector<double> v;
        for (std::string f; fields >> f;)
            v.push_back(std::strtod(f.c_str(), nullptr));
        const auto i = [&](size_t k) { return static_cast<int>(v[k]); };
        std::optional<double> actual;
        if (kind == "coefficients") {
            std::copy(v.begin(), v.end(), coefficients.begin());
            continue;
        } else if (kind == "position") {
            const SpringModel spring(i(1));
            ForceModel::Offsets offsets;
            if (i(3) != 0) {
                offsets.emplace();
                offsets->fill(i(3));
            }
            const ForceModel model(offsets, std::nullopt, Hardware(i(0), 1, 0, 1000),
                                   i(1) ? &spring : nullptr);
            actual = model.Position(i(2), v[4]);
        } else if (kind == "direct") {
            // The direct coefficients replace every magnet's table, with or without a spring.
            std::array<int32_t, 9> offsets;
            offsets.fill(i(1));
            for (int magnet : {0, 1, 2, 3}) {
                for (int springType : {0, 4}) {
                    const SpringModel spring(springType);
                    const ForceModel model(offsets, coefficients, Hardware(magnet, 1, 0, 1000),
                                           &spring);
                    EXPECT_EQ(model.MissingTables() & ForceModel::MissingPositionTable, 0u);
                    EXPECT_TRUE(model.Well(i(0)).directPolynomial);
                    const std::optional<double> p = model.Position(i(0), v[2]);
                    ASSERT_TRUE(p.has_value()) << line;
                    EXPECT_NEAR(*p, v[3], 1e-12 * std::max(1.0, std::fabs(v[3]))) << line;
                }
            }
            actual = v[3];
        } else if (kind == "pressure") {
            actual = ForceModel(Hardware(0, 1, i(0), 1000)).ActualPressure(v[1]);
        } else if (kind == "force") {
            actual = ForceModel(Hardware(0, i(0), i(2), i(1))).Force(v[3], v[4]);
        } else if (kind == "setpoint") {
            actual = ForceModel(Hardware(0, i(0), i(2), i(1))).SetpointValue(v[4], v[3]);
        } else if (kind == "pressuresetpoint") {
            actual = ForceModel(Hardware(0, i(0), i(2), i(1))).PressureSetpoint(v[4], v[3]);
        } else if (kind == "spring") {
            const SpringModel spring(i(0));
            EXPECT_TRUE(spring.valid);
            actual = spring.SpringForce(v[1]);
        } else {
            ADD_FAILURE() << "unknown kind " << kind;
            continue;
        }
        const double expected = v.back();
        ASSERT_TRUE(actual.has_value()) << line;
        EXPECT_LE(std::fabs(*actual - expected), 1e-12 * std::max(1.0, std::fabs(expected)))
            << line << ": got " << *actual;
        ++counts[kind];
    }
    const std::map<std::string, int> expectedCounts = {
        {"direct", 54},    {"force", 1100},           {"position", 280}, {"pressure", 40},
        {"setpoint", 480}, {"pressuresetpoint", 480}, {"spring", 48}};
    EXPECT_EQ(counts, expectedCounts);
}

TEST(SpringModelTable, OtherTypesAreInvalid) {
    for (int type : {0, 5, -1, 42}) {
        const SpringModel s(type);
        EXPECT_FALSE(s.valid) << type;
        for (double x : {-5.0, 0.0, 300.0, 1000.0, 5000.0})
            EXPECT_EQ(s.SpringForce(x), 0.0);
    }
}

// An uninvertible reading is exactly 0, offset or not, however close it is to m0.
TEST(ForceModelTables, AnUninvertibleReadingIsZero) {
    HardwareDescription d = Hardware(Magnet::A25_10, 1, 0, 1000);
    d.positionOffsets = std::array<int32_t, 9>{1, 2, 3, 4, 5, 6, 7, 8, 9};
    const ForceModel model(d);
    for (int well = 1; well <= 9; ++well) {
        const ForceModel::WellModel& w = model.Well(well);
        EXPECT_EQ(model.Position(well, w.m0 - 1e-9), 0.0) << well;
        EXPECT_EQ(model.Position(well, w.m0), w.m1 + well) << well;
    }
}

// Each missing table stops exactly what needs it, and the message names every one.
TEST(ForceModelMissing, EachMissingTableStopsOnlyWhatNeedsIt) {
    const struct {
        HardwareDescription hardware;
        unsigned missing;
        bool position, force, pressure;
        const char* message;
    } cases[] = {
        {Hardware(Magnet::NoMagnet, 1, 0, 1000), ForceModel::MissingPositionTable, false, true,
         true, "No position table for magnet style NoMagnet."},
        {Hardware(-1, 1, 0, 1000), ForceModel::MissingPositionTable, false, true, true,
         "No position table for magnet style InvalidMagnetStyle."},
        {Hardware(0, Membrane::A1_32, 0, 1000), ForceModel::MissingForceTable, true, false, true,
         "No force table for membrane style A1_32."},
        {Hardware(0, 17, 0, 1000), ForceModel::MissingForceTable, true, false, true,
         "No force table for membrane style InvalidMembraneStyle."},
        {Hardware(0, 1, -1, 1000), ForceModel::MissingPressureScaling, true, true, false,
         "No pressure scaling for regulator type InvalidRegulatorType."},
        // Hydrostatic testing needs no force table; forces are simply not computed.
        {Hardware(0, Membrane::Hydrostatic, Regulator::QPV1, 1000), 0, true, false, true, ""},
        {Hardware(Magnet::NoMagnet, Membrane::A1_32, 8, 1000), 7, false, false, false,
         "No position table for magnet style NoMagnet, no force table for membrane style "
         "A1_32, no pressure scaling for regulator type InvalidRegulatorType."},
    };
    for (const auto& c : cases) {
        const ForceModel model(c.hardware);
        SCOPED_TRACE(model.MissingTablesMessage());
        EXPECT_EQ(model.MissingTables(), c.missing);
        for (int well = 1; well <= 9; ++well)
            EXPECT_EQ(model.Position(well, 1000.0).has_value(), c.position);
        // A force takes a pressure, so it needs the force table only.
        EXPECT_EQ(model.Force(0.05, 1000.0).has_value(), c.force);
        EXPECT_EQ(model.ActualPressure(1000.0).has_value(), c.pressure);
        EXPECT_EQ(model.SpecifiedPressure(1000.0).has_value(), c.pressure);
        const bool setpoints = c.pressure && (c.force || model.IsHydrostatic());
        EXPECT_EQ(model.SetpointValue(1000.0, 0.0).has_value(), setpoints);
        EXPECT_EQ(model.PressureSetpoint(1.0, 0.0).has_value(), setpoints);
        EXPECT_EQ(model.MissingTablesMessage(), c.message);
    }
    // Offsets alone do not make a position model.
    HardwareDescription d = Hardware(Magnet::NoMagnet, 1, 0, 1000);
    d.positionOffsets = std::array<int32_t, 9>{5, 5, 5, 5, 5, 5, 5, 5, 5};
    EXPECT_FALSE(ForceModel(d).Position(1, 1000.0).has_value());
    const ForceModel model(Hardware(0, 1, 0, 1000));
    EXPECT_FALSE(model.Position(0, 1000.0).has_value());
    EXPECT_FALSE(model.Position(10, 1000.0).has_value());
}

} // namespace
