#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/ConvertError.h"
#include "platform/StrToInt.h"

namespace {

struct TConverts {
    const char* Text;
    std::int32_t Value;
};

const TConverts kConverting[] = {
    {"0", 0},
    {"-0", 0},
    {"+0", 0},
    {"12", 12},
    {"   12", 12},
    {"+12", 12},
    {"-12", -12},
    {"007", 7},
    {"2147483647", INT_MAX},
    {"-2147483648", INT_MIN},
    {"0000000000002147483647", INT_MAX},
    {"$0", 0},
    {"$1f", 31},
    {"x1F", 31},
    {"X1f", 31},
    {"0x10", 16},
    {"0X10", 16},
    {"  $a", 10},
    {"$7FFFFFFF", INT_MAX},
    {"$80000000", INT_MIN},
    {"$FFFFFFFF", -1},
    {"0xfffffffe", -2},
    {"$000000000001", 1},
};

const char* const kRejected[] = {
    "",
    "   ",
    "+",
    "-",
    "12 ",
    "1 2",
    "\t12",
    "12\n",
    "1.5",
    "1e3",
    "abc",
    "2147483648",
    "-2147483649",
    "+2147483648",
    "99999999999999999999",
    "$",
    "x",
    "0x",
    "0X",
    "$100000000",
    "0x1FFFFFFFF",
    "$G",
    "$1 ",
    "-$1",
    "+$1",
    "- 1",
    "0x-1",
    "$$1",
    "00x1",
};

}  // namespace

TEST(StrToIntTest, ConvertsEveryAcceptedForm) {
    for (const TConverts& c : kConverting) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(StrToInt(c.Text), c.Value);
        EXPECT_EQ(StrToIntDef(c.Text, 4242), c.Value);
        std::int32_t value = 4242;
        EXPECT_TRUE(TryStrToInt(c.Text, value));
        EXPECT_EQ(value, c.Value);
    }
}

TEST(StrToIntTest, RejectsEverythingElseWithItsTextInTheMessage) {
    for (const char* text : kRejected) {
        SCOPED_TRACE(text);
        try {
            StrToInt(text);
            ADD_FAILURE() << "converted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
        }
        EXPECT_EQ(StrToIntDef(text, -77), -77);
        std::int32_t value = 4242;
        EXPECT_FALSE(TryStrToInt(text, value));
        EXPECT_EQ(value, 4242) << "a failed conversion must leave the value alone";
    }
}

TEST(StrToIntTest, EveryValueRoundTripsThroughDecimalAndHexText) {
    // Values around the points where an accumulator or a sign rule would break.
    const std::int64_t samples[] = {INT_MIN, INT_MIN + 1, -65536, -1,    0,           1,
                                    9,       10,          65535,  65536, INT_MAX - 1, INT_MAX};
    for (std::int64_t v : samples) {
        std::int32_t value = static_cast<std::int32_t>(v);
        char hex[16];
        std::snprintf(hex, sizeof hex, "$%X", static_cast<std::uint32_t>(value));
        EXPECT_EQ(StrToInt(std::to_string(value)), value);
        EXPECT_EQ(StrToInt(hex), value) << hex;
    }
}
