#include "platform/PortResolver.h"

#include <cctype>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// Port numbers go far beyond what a one-byte port ordinal can name; the bound only keeps
// the arithmetic clear of overflow.
constexpr unsigned kHighestPort = 1000000;

}  // namespace

TPortResolver::TPortResolver(std::string baseDirectory) : baseDirectory_(std::move(baseDirectory)) {}

std::string TPortResolver::PortsDirectory() const {
    if (const char* fromEnvironment = std::getenv(kPortsVariable); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    if (baseDirectory_.empty()) return "ports";
    if (baseDirectory_.back() == '/') return baseDirectory_ + "ports";
    return baseDirectory_ + "/ports";
}

std::optional<unsigned> TPortResolver::PortNumber(const std::string& portName) {
    std::string_view rest = portName;
    if (StartsWithNoCase(rest, "\\\\.\\")) rest.remove_prefix(4);
    if (!StartsWithNoCase(rest, "COM")) return std::nullopt;
    rest.remove_prefix(3);
    if (rest.empty() || rest.front() == '0') return std::nullopt;
    unsigned number = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - '0');
        if (number > kHighestPort) return std::nullopt;
    }
    return number;
}
