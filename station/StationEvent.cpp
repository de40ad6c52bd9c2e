#include "station/StationEvent.h"

std::string TStationEvent::Encode() const {
    std::string line;
    line.reserve(Text.size() + 3);
    line += static_cast<char>(Kind);
    line += '\t';
    for (const char c : Text.substr(0, kMaxText)) line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    line += '\n';
    return line;
}

std::optional<TStationEvent> TStationEvent::Decode(std::string_view line) {
    if (line.size() < 2 || line[1] != '\t' || line.size() > kMaxText + 2) return std::nullopt;
    switch (line[0]) {
        case 'L':
        case 'R':
        case 'C':
        case 'S':
        case 'P':
        case 'I':
        case 'B':
        case 'E':
        case 'W':
            break;
        default:
            return std::nullopt;
    }
    return TStationEvent{static_cast<TKind>(line[0]), std::string(line.substr(2))};
}
