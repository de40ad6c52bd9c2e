#pragma once

#include <optional>
#include <string>
#include <vector>

// The programs' options, described once for every face: the single runner, the batch, and
// a unit of a batch (the options a batch gives its units' processes, left out of the help).
// Parsing splits the line by that description and applies the rules every face shares; what
// each face then accepts (one unit or several, a unit's options) is the face's own.
class TCommandLine {
public:
    enum class TRequest { Run, Help, Version, ListPorts };

    // One unit as the line names it, in the order given, port lists expanded.
    struct TUnit {
        int Port = 0;        // COM<Port>; 0 for a unit given by --device
        std::string Device;  // the --device path, empty for a port
    };

    // --help (-h), --version or --list-ports, wherever one stands as an option (not as
    // another option's value), is answered whatever else the line holds: the first of them
    // is the request, and nothing else is checked. Otherwise throws EStationUsageError for
    // an unknown option or a word that belongs to no option, a missing value, a bad port
    // number or list (the system's integer rule, COM1 to COM256), an empty --device or
    // --report, an option other than --port, --ports and --device given twice, or image
    // options that do not go together. A value is the next word whatever it looks like, or
    // follows "=" in the option's own word.
    static TCommandLine Parse(const std::vector<std::string>& args);

    // The help text: the usage lines, each option's description and the prose on ports,
    // numbers, batches, output and exit statuses. portNames tells, as indented lines, how
    // COM<N> leads to a device on this platform.
    static std::string Help(const std::string& portNames);

    TRequest Request = TRequest::Run;
    std::vector<TUnit> Units;
    bool PortList = false;  // --ports was given
    std::optional<std::string> Image;
    std::optional<std::string> Processor;
    std::optional<std::string> Model;
    std::optional<std::string> Report;

    // Given by a batch to a unit's process: the descriptors of its events and of the
    // report, the batch, the unit's label and device, and the batch's process id.
    std::optional<std::string> StationEvents;
    std::optional<std::string> StationReport;
    std::optional<std::string> StationBatch;
    std::optional<std::string> StationUnit;
    std::optional<std::string> StationDevice;
    std::optional<std::string> StationPid;
    // The first of those options on the line, for a face that takes none of them.
    std::string FirstUnitOption;
};
