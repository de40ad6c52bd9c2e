#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/PortResolver.h"

// The command line of a batch: the units (--port N and --device PATH, each as often as
// needed, and --ports LIST), the image options every unit gets, and the report file. Read
// by the programs' one description of their options (TCommandLine); the devices are
// resolved and compared by the platform's side (ResolveDevices, CanonicalDevice).
class TStationOptions {
public:
    struct TUnit {
        std::string Label;   // "COM3", or the device path as given
        int Port = 0;        // 0 for a unit given by --device
        std::string Device;  // the device the unit's port resolves to (filled by ResolveDevices)
    };

    // Whether a command line asks for a batch: a port list, a report, or more than one
    // unit. A single --port or --device without a report stays the single-unit runner, and
    // so does a line that asks for help, the version or the port list, or cannot be read
    // at all (the single runner then says why).
    static bool Applies(const std::vector<std::string>& args);

    // Throws EStationUsageError for what TCommandLine::Parse refuses, a unit's own option
    // (given by a batch to its units only), or a port listed twice.
    static TStationOptions Parse(const std::vector<std::string>& args);

    // Resolves every unit's device (ports through the ports directory) and refuses two
    // units on one device: the same port twice, or two names that lead to the same device
    // (compared by the device itself when it exists, by the resolved path otherwise).
    // Throws EStationUsageError.
    void ResolveDevices(const TPortResolver& resolver);

    // The path that identifies a device: the target of its links, made absolute.
    static std::string CanonicalDevice(const std::string& path);

    std::vector<TUnit> Units;
    std::optional<std::string> Image;
    std::optional<std::string> Processor;
    std::optional<std::string> Model;
    std::optional<std::string> Report;
};
