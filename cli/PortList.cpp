#include "cli/PortList.h"

#include <exception>

#include "cli/StationUsageError.h"
#include "platform/StrToInt.h"

namespace {

// One port number by the system's integer rule, then the range. what names it in the
// message ("--port 0x101", "port 300").
int Number(const std::string& text, const std::string& what) {
    std::int32_t port = 0;
    try {
        port = StrToInt(text);
    } catch (const std::exception& error) {
        throw EStationUsageError(error.what());
    }
    if (!PortNumberInRange(port))
        throw EStationUsageError(what + " is not a port from " + std::to_string(kLowestPortNumber) + " to " +
                                 std::to_string(kHighestPortNumber));
    return port;
}

// Where an item of a list splits into a range: the first '-' after the first number's
// start, so that a sign of the first number ("-3") is not taken for one.
std::size_t RangeDash(const std::string& item) {
    std::size_t start = item.find_first_not_of(' ');
    if (start == std::string::npos) return std::string::npos;
    return item.find('-', start + 1);
}

}  // namespace

std::vector<int> TPortList::Parse(const std::string& text) {
    if (text.empty()) throw EStationUsageError("'' is not a port list (for example 1-8,12)");
    std::vector<int> ports;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t dash = RangeDash(item);
        if (dash == std::string::npos) {
            ports.push_back(Number(item, "port " + item));
        } else {
            const int first = Number(item.substr(0, dash), "port " + item.substr(0, dash));
            const int last = Number(item.substr(dash + 1), "port " + item.substr(dash + 1));
            if (last < first) throw EStationUsageError("range " + item + " runs backwards");
            for (int p = first; p <= last; ++p) ports.push_back(p);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ports;
}

int TPortList::ParsePort(const std::string& text) {
    return Number(text, "--port " + text);
}
