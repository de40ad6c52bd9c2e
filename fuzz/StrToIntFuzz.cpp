// The integer conversion against a reference written from the rule alone, and the three
// entry points against each other.
#include <optional>
#include <string>

#include "fuzz/FuzzInput.h"
#include "platform/ConvertError.h"
#include "platform/StrToInt.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Leading blanks; then "+"/"-" and decimal digits, or "$", "x", "X", "0x", "0X" and
// hexadecimal digits; nothing after. Decimal within 32-bit signed range, hexadecimal within
// 32 bits taken as two's complement.
std::optional<std::int32_t> Reference(const std::string& text) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return std::nullopt;
    std::string_view t(text);
    t.remove_prefix(i);
    std::size_t prefix = 0;
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        prefix = 2;
    else if (!t.empty() && (t[0] == '$' || t[0] == 'x' || t[0] == 'X'))
        prefix = 1;
    if (prefix != 0) {
        std::string_view digits = t.substr(prefix);
        if (digits.empty()) return std::nullopt;
        std::uint64_t v = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            v = v * 16 + static_cast<std::uint64_t>(d);
            if (v > 0xFFFFFFFFull) return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    }
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    if (t.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> expected = Reference(text);
    std::int32_t value = 12345;
    const bool converted = TryStrToInt(text, value);
    FUZZ_CHECK(converted == expected.has_value());
    if (converted)
        FUZZ_CHECK(value == *expected);
    else
        FUZZ_CHECK(value == 12345);
    FUZZ_CHECK(StrToIntDef(text, -77) == (converted ? value : -77));
    bool threw = false;
    try {
        FUZZ_CHECK(StrToInt(text) == value);
    } catch (const EConvertError& e) {
        threw = true;
        // what() is a C string: a text with a zero byte shows up to that byte.
        const std::string message = "'" + text + "' is not a valid integer value";
        FUZZ_CHECK(std::string(e.what()) == message.c_str());
    }
    FUZZ_CHECK(threw == !converted);
    return 0;
}
