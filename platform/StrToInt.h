#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The one rule by which text becomes a number everywhere in the program (numbers typed by
// the operator, the stored port number):
//
//   - any number of leading blanks (space characters only);
//   - then either an optional "+" or "-" and one or more decimal digits,
//     or one of the prefixes "$", "x", "X", "0x", "0X" and one or more hexadecimal digits
//     (either letter case); a sign before a hexadecimal prefix is not accepted ("-$1" fails);
//   - nothing after the digits, not even a blank; empty or all-blank text does not convert.
//
// Range: a decimal value must lie in -2147483648 .. 2147483647. A hexadecimal value must
// fit in 32 bits (0 .. $FFFFFFFF, leading zeros allowed) and is taken as the 32-bit two's
// complement, so "$FFFFFFFF" is -1 and "$80000000" is -2147483648, while "$100000000" fails.

// True and the value when the text converts; false (value untouched) otherwise.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// Throws EConvertError "'<text>' is not a valid integer value" when the text does not convert.
std::int32_t StrToInt(const std::string& text);

// The converted value, or defaultValue when the text does not convert.
std::int32_t StrToIntDef(const std::string& text, std::int32_t defaultValue);
