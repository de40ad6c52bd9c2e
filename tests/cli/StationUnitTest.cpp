#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/StationEvent.h"
#include "station/StationUnit.h"
#include "support/SuccessLog.h"

namespace {

using TKind = TStationEvent::TKind;
using TResult = TStationUnit::TResult;

// The steps of a finished upgrade as the sequencer ends them, each with its work done.
const std::vector<std::string> kFinishedSteps = {"20 1", "1 1", "2 1", "3 1", "4 1", "21 1"};

// The events of an upgrade whose log reads lines, each line added, then replaced by itself,
// and whose steps ended as given.
std::string Events(const std::vector<std::string>& lines,
                   const std::vector<std::string>& steps = kFinishedSteps) {
    std::string bytes = TStationEvent{TKind::Clear, ""}.Encode();
    for (const std::string& line : lines) {
        const std::string caption = line.substr(0, line.find('.'));
        bytes += TStationEvent{TKind::Line, caption + "..."}.Encode();
        bytes += TStationEvent{TKind::Step, caption}.Encode();
        bytes += TStationEvent{TKind::Replace, line}.Encode();
    }
    for (const std::string& step : steps) bytes += TStationEvent{TKind::Ended, step}.Encode();
    return bytes + TStationEvent{TKind::Identity, "6181 109"}.Encode();
}

// Feeds the bytes in pieces of n, as pipe reads may split them.
TStationUnit Fed(const std::string& bytes, std::size_t n) {
    TStationUnit unit("COM1", 1, "/dev/pts/9");
    for (std::size_t i = 0; i < bytes.size(); i += n) unit.FeedEvents(bytes.substr(i, n));
    return unit;
}

TEST(StationUnitTest, CompletedNeedsExitStatusZeroAndTheEventsOfAFinishedUpgrade) {
    std::vector<std::string> stoppedAfterErase(kSuccessLog.begin(), kSuccessLog.begin() + 5);
    const std::vector<std::string> erased = {"20 1", "1 1", "2 1"};
    const std::vector<std::string> writeFailed = {"20 1", "1 1", "2 1", "3 0", "4 1", "21 1"};
    struct TCase {
        const char* name;
        std::string events;
        std::optional<int> status;
        int signal;
        TResult result;
        std::string failing;
    };
    const std::vector<TCase> cases = {
        {"clean", Events(kSuccessLog), 0, 0, TResult::Completed, ""},
        {"settings", Events(kSuccessLog), 3, 0, TResult::SettingsNotRestored, ""},
        {"zero, write failed", Events(kSuccessLog, writeFailed), 0, 0, TResult::Failed,
         "without the events of a finished upgrade"},
        {"zero, stopped early", Events(stoppedAfterErase, erased), 0, 0, TResult::Failed,
         "without the events"},
        {"three, stopped early", Events(stoppedAfterErase, erased), 3, 0, TResult::Failed,
         "without the events"},
        // The log's texts alone are no proof: the steps' own ends are.
        {"zero, texts only", Events(kSuccessLog, {}), 0, 0, TResult::Failed, "without the events"},
        {"crash at the end", Events(kSuccessLog), std::nullopt, 11, TResult::Failed, "(ended by signal 11)"},
        {"garbage around", "\x01\x02zz\n" + Events(kSuccessLog) + "X\tjunk\nE\t3 yes\nL\tcut off", 0, 0,
         TResult::Completed, ""},
    };
    for (const TCase& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, c.events.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            TStationUnit unit = Fed(c.events, piece);
            unit.Ended(c.status, c.signal, "");
            EXPECT_EQ(unit.Result(), c.result);
            EXPECT_NE(unit.FailingLine().find(c.failing), std::string::npos) << unit.FailingLine();
            EXPECT_EQ(unit.Model, std::optional<std::uint16_t>(6181));
        }
    }
}

TEST(StationUnitTest, AUnitThatNeverStartedFailsWithItsMessage) {
    TStationUnit unit("COM7", 7, "/dev/ttyS6");
    unit.FeedMessages("bootloader-cli: Unable To Open Comms Port. Please Select Another.\n");
    unit.Ended(2, 0, "");
    EXPECT_EQ(unit.Result(), TResult::Failed);
    EXPECT_EQ(unit.FailingLine(), "bootloader-cli: Unable To Open Comms Port. Please Select Another.");
    EXPECT_FALSE(unit.IdentityKnown);
}

}  // namespace
