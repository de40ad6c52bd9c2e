#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/StationReport.h"

namespace {

TEST(StationReportTest, TextPassesAsUtf8AndOnlyWhatIsNotUtf8IsEscaped) {
    struct TCase {
        std::string text;
        std::string json;
    };
    const std::vector<TCase> cases = {
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"a\"b\\c\td\x7f", "\"a\\\"b\\\\c\\u0009d\\u007f\""},
        {"\xe9t\xe9", "\"\\u00e9t\\u00e9\""},                      // Latin-1, not UTF-8
        {"\xc3", "\"\\u00c3\""},                                   // cut short at the end
        {"\xc3(", "\"\\u00c3(\""},                                 // a lead byte without its continuation
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},                        // overlong form of '/'
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},             // a surrogate
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // beyond U+10FFFF
        {"\x80z", "\"\\u0080z\""},                                 // a stray continuation byte
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(TStationReport::Quote(c.text), c.json);
    }
}

}  // namespace
