#include "cli/PortList.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "cli/StationUsageError.h"
#include "platform/StrToInt.h"

namespace {

void CheckRange(long long port, const std::string& text) {
    if (port < TPortList::kLowestPort || port > TPortList::kHighestPort)
        throw EStationUsageError("port " + text + " is outside " + std::to_string(TPortList::kLowestPort) +
                                 " to " + std::to_string(TPortList::kHighestPort));
}

// Digits only; a value far beyond the highest port is held at a bound that still fails
// the range check, so no overflow.
long long Number(const std::string& text, const std::string& list) {
    if (text.empty()) throw EStationUsageError("'" + list + "' is not a port list (for example 1-8,12)");
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            throw EStationUsageError("'" + list + "' is not a port list (for example 1-8,12)");
        value = std::min(value * 10 + (c - '0'), 1000000LL);
    }
    CheckRange(value, text);
    return value;
}

}  // namespace

std::vector<int> TPortList::Parse(const std::string& text) {
    std::vector<int> ports;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t dash = item.find('-');
        if (dash == std::string::npos) {
            ports.push_back(static_cast<int>(Number(item, text)));
        } else {
            const long long first = Number(item.substr(0, dash), text);
            const long long last = Number(item.substr(dash + 1), text);
            if (last < first) throw EStationUsageError("range " + item + " runs backwards");
            for (long long p = first; p <= last; ++p) ports.push_back(static_cast<int>(p));
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ports;
}

int TPortList::ParsePort(const std::string& text) {
    std::int32_t port = 0;
    try {
        port = StrToInt(text);
    } catch (const std::exception& error) {
        throw EStationUsageError(error.what());
    }
    CheckRange(port, text);
    return port;
}
