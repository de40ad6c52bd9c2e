#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/PortList.h"
#include "cli/StationUsageError.h"
#include "platform/posix/PseudoTerminal.h"
#include "station/StationOptions.h"
#include "support/TestPortsDirectory.h"

namespace {

std::string UsageError(const std::vector<std::string>& args, const TTestPortsDirectory& ports) {
    try {
        TStationOptions o = TStationOptions::Parse(args);
        o.ResolveDevices(TPortResolver(ports.Path().string() + "/"));
    } catch (const EStationUsageError& error) {
        return error.what();
    }
    return "";
}

TEST(StationOptionsTest, PortListsExpandInOrderAndRefuseWhatIsNotAList) {
    EXPECT_EQ(TPortList::Parse("1-8,12"), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 12}));
    EXPECT_EQ(TPortList::Parse("256,3-3,1"), (std::vector<int>{256, 3, 1}));
    // Numbers in a list follow the same integer rule as --port.
    EXPECT_EQ(TPortList::Parse("$10-0x11, 3,+4"), (std::vector<int>{16, 17, 3, 4}));
    EXPECT_EQ(TPortList::ParsePort("$10"), 16);
    for (const std::string bad : {"", "0", "257", "1-257", "99999999999999999999", "1-", "-3", "1,,2", "3-1",
                                  "a", "1 ", "1-2-3", "0x101"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(TPortList::Parse(bad), EStationUsageError);
    }
    for (const std::string bad : {"0", "257", "-1", "abc"})
        EXPECT_THROW(TPortList::ParsePort(bad), EStationUsageError);
}

TEST(StationOptionsTest, OnlyAListAReportOrSeveralUnitsMakeABatch) {
    EXPECT_FALSE(TStationOptions::Applies({"--port", "1"}));
    EXPECT_FALSE(TStationOptions::Applies({"--device", "--port"}));  // a value, not an option
    EXPECT_FALSE(TStationOptions::Applies({"--image", "--device", "--port", "1"}));
    EXPECT_TRUE(TStationOptions::Applies({"--port", "1", "--device", "/dev/null"}));
    EXPECT_TRUE(TStationOptions::Applies({"--ports", "1"}));
    EXPECT_TRUE(TStationOptions::Applies({"--port", "1", "--report", "r.jsonl"}));
    EXPECT_FALSE(TStationOptions::Applies({"--ports", "1-4", "--help"}));
    // A line that cannot be read is the single runner's to refuse.
    EXPECT_FALSE(TStationOptions::Applies({"--ports", "1-4", "--report"}));
}

TEST(StationOptionsTest, TwoEntriesForOneDeviceAreAUsageError) {
    TTestPortsDirectory ports;
    TPseudoTerminal a, b;
    ports.Link(1, a.SlavePath());
    ports.Link(2, a.SlavePath());  // another name for the same device
    ports.Link(3, b.SlavePath());
    ports.Link(4, (ports.Path() / "absent").string());
    ports.Link(5, (ports.Path() / "absent").string());
    ports.Link(6, (ports.Path() / "elsewhere").string());
    struct TCase {
        std::vector<std::string> args;
        std::string error;  // empty: accepted
    };
    const std::vector<TCase> cases = {
        {{"--ports", "1,3-4,6", "--device", b.SlavePath() + "x"}, ""},
        {{"--ports", "3-4", "--port", "4"}, "port COM4 is listed twice"},
        {{"--port", "0x3", "--port", "3"}, "port COM3 is listed twice"},
        {{"--ports", "1-2"}, "COM1 and COM2 are the same device"},
        {{"--port", "3", "--device", b.SlavePath()}, "are the same device"},
        {{"--device", a.SlavePath(), "--device", ports.Entry(1)}, "are the same device"},
        {{"--ports", "4-5"}, "COM4 and COM5 are the same device"},  // missing, by path
        {{"--port", "257", "--port", "1"}, "--port 257 is not a port from 1 to 256"},
        {{"--ports", "0-2"}, "port 0 is not a port from 1 to 256"},
        {{"--ports", "1,3", "--image", "x.bin"}, "go together"},
        {{"--ports", "1,3", "--report"}, "needs a value"},
        {{"--ports", "1,3", "--frobnicate"}, "unknown option --frobnicate"},
        // A unit's own options are the batch's to give.
        {{"--ports", "1,3", "--station-events", "3"}, "unknown option --station-events"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args[1]);
        const std::string error = UsageError(c.args, ports);
        if (c.error.empty())
            EXPECT_EQ(error, "");
        else
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

}  // namespace
