#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/StationReport.h"
#include "support/OutputLines.h"
#include "support/TempDir.h"

namespace {

TEST(StationReportTest, TextPassesAsUtf8AndAByteThatIsNotUtf8ReadsAsTheCharacterOfItsNumber) {
    struct TCase {
        std::string text;
        std::string json;
    };
    // A byte that is not UTF-8 reads as the character of its number: the line stays valid
    // JSON, and a reader gets what the old per-byte escapes gave, no more garbled UTF-8.
    const std::vector<TCase> cases = {
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"a\"b\\c\td\x01", "\"a\\\"b\\\\c\\td\\u0001\""},
        {"\xe9t\xe9", "\"\xc3\xa9t\xc3\xa9\""},                        // Latin-1, not UTF-8
        {"\xc3", "\"\xc3\x83\""},                                      // cut short at the end
        {"\xc3(", "\"\xc3\x83(\""},                                    // a lead byte without its continuation
        {"\xc0\xaf", "\"\xc3\x80\xc2\xaf\""},                          // overlong form of '/'
        {"\xed\xa0\x80", "\"\xc3\xad\xc2\xa0\xc2\x80\""},              // a surrogate
        {"\xf4\x90\x80\x80", "\"\xc3\xb4\xc2\x90\xc2\x80\xc2\x80\""},  // beyond U+10FFFF
        {"\x80z", "\"\xc2\x80z\""},                                    // a stray continuation byte
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(TStationReport::Quote(c.text), c.json);
    }
}

// The batch writes a unit's line only when the unit's own process has not: a process killed
// after it wrote its line, before it could tell the batch, must not leave the line twice.
// Only a line of this batch for this unit, written since the batch began, counts.
TEST(StationReportTest, AUnitsLineIsWrittenUnlessThisBatchHasOneForItAlready) {
    TTempDir dir;
    const std::string path = dir.File("r.jsonl");
    const FirmwareImage package = TStationReport::Package(std::nullopt, std::nullopt, std::nullopt);
    const TStationUnit com3("COM3", 3, "/dev/pts/7"), com4("COM4", 4, "/dev/pts/8");
    TStationReport report(path);
    ASSERT_EQ(report.Write(com3, "batch-1", package), 0);  // an earlier batch's line for COM3
    const std::uint64_t start = TStationReport::SizeOf(path);
    ASSERT_EQ(report.Write(com3, "batch-2", package), 0);  // what COM3's own process wrote
    const auto lines = [&] { return Lines(TTempDir::Read(path)).size(); };
    EXPECT_EQ(report.WriteUnlessRecorded(com3, "batch-2", package, path, start), 0);
    EXPECT_EQ(lines(), 2u);
    EXPECT_EQ(report.WriteUnlessRecorded(com4, "batch-2", package, path, start), 0);
    EXPECT_EQ(lines(), 3u);
    // The earlier batch's line lies before this batch's start, and is of another batch anyway.
    EXPECT_EQ(report.WriteUnlessRecorded(com3, "batch-1", package, path, start), 0);
    EXPECT_EQ(lines(), 4u);
}

}  // namespace
