#include "platform/StrToInt.h"

#include "platform/ConvertError.h"

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithHexPrefix(std::string_view text, std::size_t& prefixLength) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        prefixLength = 2;
        return true;
    }
    if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X')) {
        prefixLength = 1;
        return true;
    }
    return false;
}

}  // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value) {
    std::size_t pos = text.find_first_not_of(' ');
    if (pos == std::string_view::npos) return false;
    text.remove_prefix(pos);

    std::size_t prefixLength = 0;
    if (StartsWithHexPrefix(text, prefixLength)) {
        std::string_view digits = text.substr(prefixLength);
        if (digits.empty()) return false;
        std::uint64_t accumulated = 0;
        for (char c : digits) {
            int digit = HexDigitValue(c);
            if (digit < 0) return false;
            accumulated = accumulated * 16 + static_cast<unsigned>(digit);
            // Leading zeros may make the text long; only the value is bounded.
            if (accumulated > 0xFFFFFFFFu) return false;
        }
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(accumulated));
        return true;
    }

    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    // Magnitude limit: 2^31 for a negative value, 2^31 - 1 otherwise.
    const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    std::uint64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        if (magnitude > limit) return false;
    }
    value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<std::int32_t>(magnitude);
    return true;
}

std::int32_t StrToInt(const std::string& text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value)) throw EConvertError("'" + text + "' is not a valid integer value");
    return value;
}

std::int32_t StrToIntDef(const std::string& text, std::int32_t defaultValue) {
    std::int32_t value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}
