#include <cctype>

#include "cli/StationUsageError.h"
#include "station/StationOptions.h"

std::string TStationOptions::CanonicalDevice(const std::string& path) {
    // "COM3", "com3" and "\\.\COM3" are one device: the name in the system's device
    // namespace, which case does not tell apart.
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "\\\\.\\" + name;
}

void TStationOptions::ResolveDevices(const TPortResolver&) {
    // A port is the system's COM port of its number; there is no ports directory.
    std::vector<std::string> seen;
    for (TUnit& unit : Units) {
        unit.Device = CanonicalDevice(unit.Port != 0 ? "COM" + std::to_string(unit.Port) : unit.Device);
        for (std::size_t j = 0; j < seen.size(); ++j)
            if (seen[j] == unit.Device)
                throw EStationUsageError(Units[j].Label + " and " + unit.Label + " are the same device (" +
                                         unit.Device + ")");
        seen.push_back(unit.Device);
    }
}
