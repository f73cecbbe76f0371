// Set and sequence timing, memory use, stretch-position travel and the sequence check.
#include "protocol/SequenceRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SetSequence Of(std::vector<SetRecord> sets) {
    return SetSequence{std::move(sets), {}};
}

SetRecord Timed(int reps, int xPreload, int yPreload, int zPreload, int timeUnits) {
    SetRecord set;
    set.NumReps = reps;
    set.XPreloadType = xPreload;
    set.YPreloadType = yPreload;
    set.ZPreloadType = zPreload;
    set.TimeUnits = timeUnits;
    return set;
}

TEST(SequenceTiming, SetDurationCountsPreloadsInTheSetsUnits) {
    SetRecord minutes =
        Timed(2, PreloadType::First, PreloadType::None, PreloadType::None, TimeUnits::Minutes);
    minutes.StretchDurationSec = 1;
    minutes.RecoveryDurationSec = 1;
    SetRecord allPhases =
        Timed(3, PreloadType::None, PreloadType::None, PreloadType::None, TimeUnits::dSeconds);
    allPhases.HoldTimeSec = 5;
    allPhases.RestTimeSec = 15;
    const struct {
        const char* what;
        SetRecord set;
        double seconds;
    } cases[] = {
        {"default", SetRecord{}, 20},
        {"every x5", Timed(5, PreloadType::Every, 0, 0, 0), 110},
        {"first x5", Timed(5, PreloadType::First, 0, 0, 0), 102},
        {"y every", Timed(5, 0, PreloadType::Every, 0, 0), 110},
        {"x first, y every counts once", Timed(5, 1, 2, 0, 0), 110},
        {"z is not looked at", Timed(5, 0, 0, PreloadType::Every, 0), 100},
        {"invalid preload", Timed(5, -1, 0, 0, 0), 100},
        {"no repetitions", Timed(0, PreloadType::Every, 0, 0, 0), 0},
        {"negative repetitions", Timed(-2, PreloadType::First, 0, 0, 0), -40},
        {"minutes with preload", minutes, 360},
        {"hours", Timed(1, 0, 0, 0, TimeUnits::Hours), 72000},
        {"days", Timed(1, 0, 0, 0, TimeUnits::Days), 1728000},
        {"milliseconds", Timed(1, 2, 0, 0, TimeUnits::mSeconds), 0.022},
        {"deciseconds, all phases", allPhases, 0.1 * 3 * 40},
        {"invalid units count seconds", Timed(1, 0, 0, 0, -1), 20},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(SetDuration(Of({c.set}), 0), c.seconds, 1e-9) << c.what;
    EXPECT_EQ(PreloadTime(Of({Timed(5, 2, 0, 0, 1)}), 0), 10.0);
    EXPECT_EQ(SetDuration(Of({SetRecord{}}), 1), 0.0);
    EXPECT_EQ(SetDuration(Of({SetRecord{}}), -1), 0.0);
    EXPECT_EQ(PreloadTime(Of({}), 0), 0.0);
}

TEST(SequenceTiming, TotalAndTimeText) {
    EXPECT_EQ(TotalDuration(Of({SetRecord{}, Timed(5, 2, 0, 0, 0)})), 130.0);
    EXPECT_EQ(TotalSeconds(Of({Timed(1, 0, 0, 0, TimeUnits::mSeconds)})), 0);
    SetRecord fractional;
    fractional.StretchDurationSec = 0.75;
    fractional.RecoveryDurationSec = 0;
    EXPECT_EQ(TotalSeconds(Of({fractional, fractional})), 1);
    EXPECT_EQ(TotalSeconds(Of({Timed(-3, 0, 0, 0, 0)})), 0);
    SetRecord huge;
    huge.NumReps = 2000000000;
    huge.TimeUnits = TimeUnits::Days;
    EXPECT_EQ(TotalSeconds(Of({huge})), 2147483647);

    EXPECT_EQ(TimeText(3725), "01:02:05");
    EXPECT_EQ(TimeText(360000), "100:00:00");
    EXPECT_EQ(TimeText(-5), "00:00:00");
    EXPECT_EQ(TimeText(2147483647), "596523:14:07");
    EXPECT_EQ(UsedMemoryText(UsedMemory(3)), "30.0"); // ten percent per set
}

SetRecord Displacement(double mm, int reps, double stretch, double recovery) {
    SetRecord set;
    set.XUnits = MagnitudeUnits::mm;
    set.XMagnitude = mm;
    set.NumReps = reps;
    set.StretchDurationSec = stretch;
    set.RecoveryDurationSec = recovery;
    return set;
}

TEST(StretchPosition, OnlyOneWayDisplacementSetsMove) {
    struct Case {
        const char* what;
        std::vector<SetRecord> sets;
        double maximum;
        double minimum;
    };
    SetRecord newtons = Displacement(5, 10, 10, 0);
    newtons.XUnits = MagnitudeUnits::N;
    const Case cases[] = {
        {"none", {}, 0, 0},
        {"two without recovery",
         {Displacement(0.6, 1000, 10, 0), Displacement(0.6, 1000, 10, 0)},
         1200,
         0},
        {"back down after", {Displacement(2, 3, 10, 0), Displacement(1, 5, 0, 10)}, 6, 0},
        {"down first", {Displacement(1, 1, 0, 10), Displacement(3, 1, 10, 0)}, 2, -1},
        {"both phases stay", {Displacement(50, 50, 10, 10)}, 0, 0},
        {"neither phase goes up", {Displacement(4, 2, 0, 0)}, 8, 0},
        {"newtons do not move", {newtons}, 0, 0},
    };
    for (const Case& c : cases) {
        const StretchExtremes extremes = StretchPositionExtremes(Of(c.sets));
        EXPECT_NEAR(extremes.maximum, c.maximum, 1e-9) << c.what;
        EXPECT_NEAR(extremes.minimum, c.minimum, 1e-9) << c.what;
    }
}

class FakeHost : public ISequenceCheckHost {
public:
    explicit FakeHost(std::string testName) : name(std::move(testName)) {}
    void ShowCheckMessage(const std::string& text) override { messages.push_back(text); }
    std::string TestName() override { return name; }
    void SetTestName(const std::string& value) override {
        name = value;
        ++nameWrites;
    }

    std::string name;
    int nameWrites = 0;
    std::vector<std::string> messages;
};

TEST(SequenceCheck, RefusesWithTheFirstFailingRule) {
    SetRecord zero = SetRecord{};
    zero.NumReps = 0;
    std::vector<SetRecord> ten(10, SetRecord{});
    std::vector<SetRecord> eleven(11, SetRecord{});
    const struct {
        const char* what;
        std::vector<SetRecord> sets;
        const char* message;
    } cases[] = {
        {"empty", {}, "Please Specify a Test Sequence Before Executing"},
        {"zero repetitions",
         {zero, zero},
         "Error:  Test Sequence Must Be Greater Than 0 Seconds in Length"},
        {"below zero",
         {Displacement(1, 1, 0, 10)},
         "Error:  Minimum Stretch Position\nAcross All Sets Must Be Greater Than 0.0 mm\n"},
        {"eleven sets", eleven,
         "Error:  Not Enough Memory Available\nReduce Number of Specified Sets\n"},
        {"too far before memory",
         [] {
             std::vector<SetRecord> sets(11, SetRecord{});
             sets[0] = Displacement(2000, 1, 10, 0);
             return sets;
         }(),
         "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 1000.0mm\n"},
    };
    for (const auto& c : cases) {
        const SetSequence working = Of(c.sets);
        SetSequence committed{{SetRecord{}}, {SetKey::Name}};
        const SetSequence before = committed;
        FakeHost host("Test");
        EXPECT_EQ(CheckSequence(working, committed, kDefaultMaxStretchPosMm, host), -1) << c.what;
        EXPECT_EQ(host.messages, std::vector<std::string>{c.message}) << c.what;
        EXPECT_EQ(committed, before) << c.what;
        EXPECT_EQ(host.nameWrites, 0) << c.what;
    }
}

TEST(SequenceCheck, LimitsAreInclusive) {
    FakeHost host("Test");
    SetSequence committed;
    // Up exactly to the limit, then back to exactly 0.
    const SetSequence working = Of({Displacement(1, 1000, 10, 0), Displacement(1, 1000, 0, 10)});
    EXPECT_EQ(CheckSequence(working, committed, 1000.0f, host), 1);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(CheckSequence(working, committed, 999.5f, host), -1);
    EXPECT_EQ(host.messages.back(),
              "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 999.5mm\n");
    // A passing check copies the sequence, columns included, into the document.
    SetSequence ten = Of(std::vector<SetRecord>(10, SetRecord{}));
    ten.sets[1].Name = "second";
    ten.columns = {SetKey::NumReps, SetKey::Invalid};
    EXPECT_EQ(CheckSequence(ten, committed, 1000.0f, host), 1);
    EXPECT_EQ(committed, ten);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.nameWrites, 0);
}

TEST(SequenceCheck, ForbiddenTestNameCharactersBecomeBlanks) {
    FakeHost host("a/b:c");
    SetSequence committed;
    EXPECT_EQ(CheckSequence(Of({SetRecord{}}), committed, kDefaultMaxStretchPosMm, host), 1);
    EXPECT_EQ(host.name, "a b c");
    EXPECT_EQ(host.messages,
              std::vector<std::string>{"Warning:  Invalid Characters will be "
                                       "removed\nfrom Test Name / : * ? \" < > | \\\n"});
    EXPECT_EQ(CleanTestName("\\/:*?\"<>|ok"), "         ok");
}

} // namespace
