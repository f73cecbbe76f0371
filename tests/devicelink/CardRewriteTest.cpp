// Card file rewrites: the old content stays until the new one is whole on the card, a refused
// delete stops the rewrite, and a write that fails has the old content written back.
#include "common/Interruption.h"
#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <optional>

namespace {

const std::string kOld = "12\n-8\n5\n0\n-15\n7\n3\n-4\n10";
const std::string kZeros = "0\n0\n0\n0\n0\n0\n0\n0\n0"; // 17 bytes, one piece

class CardRewriteTest : public ::testing::Test {
protected:
    CardRewriteTest() { EXPECT_EQ(controller.serial.Open("p", false, false, true, true, -1), 0); }
    ~CardRewriteTest() override { interruption::Clear(); }

    LogCapture log;
    Controller controller{std::make_unique<ScriptedSerialChannel>()};
    ScriptedSerialChannel& line = static_cast<ScriptedSerialChannel&>(controller.serial.Channel());
};

TEST_F(CardRewriteTest, TheCardHoldsTheNewContentTheOldOneOrSaysTheFileIsDamaged) {
    using OnStop = Controller::OnStop;
    struct Case {
        const char* name;
        bool existed; // POSCAL.INI on the card before
        std::function<void(FakeFirmware&)> fault;
        int result;
        std::optional<std::string> after; // POSCAL.INI on the card afterwards
        std::string problem;
        OnStop onStop = OnStop::Abandon;
    };
    const auto stopAt = [](const std::string& command) {
        return [command](FakeFirmware& fw) {
            fw.onLine = [command](const std::string& received) {
                if (received == command)
                    interruption::Request(SIGINT);
            };
        };
    };
    const std::string notReplaced = "POSCAL.INI was not replaced: ";
    const std::string damaged = "POSCAL.INI on the card may now be missing or incomplete: ";
    const std::string refusedPiece = "writing it stopped after 0 of 17 bytes (the controller "
                                     "answered Error 4)";
    const Case cases[] = {
        {"Replaced", true, {}, Controller::kCardReplaced, kZeros, ""},
        {"NewFile", false, {}, Controller::kCardReplaced, kZeros, ""},
        {"DeleteRefused", true, [](FakeFirmware& fw) { fw.undeletable.insert("POSCAL.INI"); },
         Controller::kCardKept, kOld,
         notReplaced + "the controller did not delete it (the controller answered Error 4); it "
                       "keeps its old content."},
        {"DeleteCommandRefused", true,
         [](FakeFirmware& fw) { fw.overrides["0X POSCAL.INI"] = {"Error 5\r"}; },
         Controller::kCardKept, kOld,
         notReplaced + "the controller did not delete it (the controller answered Error 5); it "
                       "keeps its old content."},
        {"OldContentUnreadable", true,
         [](FakeFirmware& fw) { fw.overrides["0F POSCAL.INI"] = {"Error 5\r\x17"}; },
         Controller::kCardKept, kOld,
         notReplaced + "its old content could not be read (the controller answered Error 5), and "
                       "without it a failed write could not be undone."},
        {"PieceRefused", true, [](FakeFirmware& fw) { fw.overrides[kZeros] = {"Error 4\r"}; },
         Controller::kCardKept, kOld,
         notReplaced + refusedPiece + "; its old content was written back."},
        {"PieceRefusedNewFile", false,
         [](FakeFirmware& fw) { fw.overrides[kZeros] = {"Error 4\r"}; }, Controller::kCardKept,
         std::nullopt,
         notReplaced + refusedPiece + "; the incomplete copy was deleted (there was none before)."},
        {"PieceLost", true, [](FakeFirmware& fw) { fw.overrides[kZeros] = {"OK\r"}; },
         Controller::kCardKept, kOld,
         notReplaced + "it was written but its copy on the card (0 bytes) differs from the 17 "
                       "bytes sent; its old content was written back."},
        {"StopDuringTheWrite", true, stopAt("0W POSCAL.INI"), Controller::kCardKept, kOld,
         notReplaced + "writing it stopped after 0 of 17 bytes (interrupted); its old content was "
                       "written back."},
        {"StopBefore", true, [](FakeFirmware&) { interruption::Request(SIGINT); },
         Controller::kCardKept, kOld, notReplaced + "interrupted."},
        {"StopBeforeAStepThatMustFinish", true,
         [](FakeFirmware&) { interruption::Request(SIGINT); }, Controller::kCardReplaced, kZeros,
         "", OnStop::Finish},
        {"LinkLostInTheWrite", true, [](FakeFirmware& fw) { fw.cutAt = kZeros; },
         Controller::kCardDamaged, "",
         damaged + "writing it stopped after 0 of 17 bytes (no answer), and its old content could "
                   "not be written back (no answer)."},
        {"LinkLostAtTheDelete", true, [](FakeFirmware& fw) { fw.cutAt = "0X POSCAL.INI"; },
         Controller::kCardDamaged, kOld,
         damaged + "deleting it was not confirmed (no answer), and its old content could not be "
                   "written back (no answer)."},
        {"RestoreRefused", true,
         [](FakeFirmware& fw) {
             fw.overrides[kZeros] = {"Error 4\r"};
             fw.overrides[kOld] = {"Error 4\r"};
         },
         Controller::kCardDamaged, "",
         damaged + refusedPiece +
             ", and its old content could not be written back (the controller answered Error 4)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        interruption::Clear();
        FakeFirmware fw(line);
        if (c.existed)
            fw.files["POSCAL.INI"] = kOld;
        if (c.fault)
            c.fault(fw);
        EXPECT_EQ(controller.ReplaceCardFile("POSCAL.INI", kZeros, c.onStop), c.result);
        EXPECT_EQ(controller.WriteProblem(), c.problem);
        const auto file = fw.files.find("POSCAL.INI");
        EXPECT_EQ(file == fw.files.end() ? std::nullopt : std::optional(file->second), c.after);
        // Nothing is left waiting on the line for the next exchange to read.
        EXPECT_EQ(line.PendingPieces(), 0u);
    }
    EXPECT_TRUE(log.Text().find("POSCAL.INI") == std::string::npos) << log.Text();
}

TEST_F(CardRewriteTest, OldContentReadFirstNewContentReadBackLast) {
    FakeFirmware fw(line);
    fw.files["MAGCAL.INI"] = "old\n";
    std::array<double, 27> values{};
    values[0] = 4.9101e-05;
    EXPECT_EQ(controller.WriteCoefficientFile(values, "MAGCAL.INI"), Controller::kCardReplaced);
    const std::string content = CoefficientFileText(values);
    ASSERT_EQ(content.size(), 351u);
    std::vector<std::string> expected{"0F MAGCAL.INI", "0X MAGCAL.INI", "0W MAGCAL.INI"};
    for (std::size_t at = 0; at < content.size(); at += 60)
        expected.push_back(content.substr(at, 60));
    expected.insert(expected.end(), {"\x17", "0F MAGCAL.INI"});
    EXPECT_EQ(fw.commands, expected);
    EXPECT_EQ(fw.files["MAGCAL.INI"], content);
}

TEST_F(CardRewriteTest, OffsetsInMemoryFollowTheCard) {
    FakeFirmware fw(line);
    const std::array<int32_t, 9> old{12, -8, 5, 0, -15, 7, 3, -4, 10};
    controller.hardware.positionOffsets = old;
    fw.files["POSCAL.INI"] = kOld;
    fw.undeletable.insert("POSCAL.INI");
    EXPECT_EQ(controller.ResetPositionOffsets(), Controller::kCardKept);
    EXPECT_EQ(controller.hardware.positionOffsets, old);
    fw.undeletable.clear();
    EXPECT_EQ(controller.ResetPositionOffsets(), Controller::kCardReplaced);
    EXPECT_EQ(controller.hardware.positionOffsets, (std::array<int32_t, 9>{}));
}

} // namespace
