// The controller's card as a source of test data files: the "0L" listing (parsed for the
// controller's firmware), file reads, downloads and deletions through the controller. Used on
// the thread that owns the controller (the device worker, or a tool's one thread).
#pragma once

#include "recordings/TestDataCard.h"

class Controller;

class ControllerCard : public ITestDataCard {
public:
    explicit ControllerCard(Controller& controller) : m_controller(controller) {}

    bool ListDataFiles(std::vector<TestDataFile>& files) override;
    int ReadFirstLine(const std::string& name, std::string& line) override;
    int Fetch(const std::string& name, const ByteSink& sink, long long& bytes,
              const ByteProgress& progress) override;
    // A refused deletion of a file the card no longer lists is "not on the card" (0).
    int Delete(const std::string& name) override;
    // The connected controller's serial number and firmware; the listing gives no dates.
    ResultSource SourceOf(const std::string& name) override;

private:
    Controller& m_controller;
};

// The card's capacity in kilobytes ("0?V"), or -1 when the query fails.
int CardCapacityKb(Controller& controller);

// Whether the card's test data may be used now: not while the controller records a test.
enum class CardAccess {
    Ready,
    TestRunning, // "0?S" answers 3 (running) or 4 (paused)
    NoAnswer,    // the controller answers, but not with a run state
    LineDown,    // the line to the controller is gone (unplugged, port closed)
};
CardAccess CheckCardAccess(Controller& controller);
// After a failed exchange: whether the line itself went down, not the controller's answer.
bool LineDown(const Controller& controller);

inline constexpr const char* kTestRunningText =
    "Cannot Access Test Data\nWhile Test is Running or Paused\n";
