#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/StationUsageError.h"

namespace {

using TRequest = TCommandLine::TRequest;

std::string Refusal(const std::vector<std::string>& args) {
    try {
        TCommandLine::Parse(args);
    } catch (const EStationUsageError& error) {
        return error.what();
    }
    return "";
}

TEST(CommandLineTest, RequestsAnswerWhereverTheyStandButNotAsAValue) {
    EXPECT_EQ(TCommandLine::Parse({"--ports", "1-8", "--help"}).Request, TRequest::Help);
    EXPECT_EQ(TCommandLine::Parse({"--frobnicate", "--version"}).Request, TRequest::Version);
    EXPECT_EQ(TCommandLine::Parse({"--port", "0", "--list-ports", "--help"}).Request, TRequest::ListPorts);
    // A value missing at the end of the line does not hide a request before it.
    EXPECT_EQ(TCommandLine::Parse({"-h", "--report"}).Request, TRequest::Help);
    const TCommandLine line = TCommandLine::Parse({"--image", "--help", "--processor", "1", "--model", "-2"});
    EXPECT_EQ(line.Request, TRequest::Run);
    EXPECT_EQ(line.Image, "--help");
    EXPECT_EQ(line.Model, "-2");
}

TEST(CommandLineTest, UnitsKeepTheOrderGivenAcrossTheirOptions) {
    const TCommandLine line = TCommandLine::Parse({"--device", "/dev/a", "--ports", "3-4", "--port=$10"});
    ASSERT_EQ(line.Units.size(), 4u);
    EXPECT_EQ(line.Units[0].Device, "/dev/a");
    EXPECT_EQ(line.Units[0].Port, 0);
    EXPECT_EQ(line.Units[1].Port, 3);
    EXPECT_EQ(line.Units[2].Port, 4);
    EXPECT_EQ(line.Units[3].Port, 16);
    EXPECT_TRUE(line.PortList);
    EXPECT_EQ(TCommandLine::Parse({"--station-pid", "7", "--station-events", "3"}).FirstUnitOption,
              "--station-pid");
}

TEST(CommandLineTest, RefusalsNameWhatIsWrong) {
    struct TCase {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<TCase> cases = {
        {{"--frobnicate", "--port", "1"}, "unknown option --frobnicate"},
        {{"--port", "1", "3"}, "unexpected word 3"},
        {{"--port", "1", "--report"}, "option --report needs a value"},
        {{"--port", "1", "--image="}, "option --image needs a value"},
        {{"--image", "a", "--processor", "1", "--model", "2", "--image", "b"},
         "option --image is given twice"},
        {{"--ports", "1", "--report", "a", "--report", "a"}, "option --report is given twice"},
        // The sign is the integer rule's, not an option's: the range refuses it.
        {{"--port", "-3"}, "--port -3 is not a port from 1 to 256"},
        {{"--port", "3x"}, "'3x' is not a valid integer value"},
        {{"--device", ""}, "--device needs a path"},
        {{"--model", "1"}, "--image, --processor and --model go together"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        EXPECT_EQ(Refusal(c.args), c.message);
    }
}

}  // namespace
