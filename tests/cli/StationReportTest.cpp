#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/StationReport.h"

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

}  // namespace
