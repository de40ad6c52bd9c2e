#include "station/StationOptions.h"

#include "cli/CommandLine.h"
#include "cli/StationUsageError.h"

bool TStationOptions::Applies(const std::vector<std::string>& args) {
    TCommandLine line;
    try {
        line = TCommandLine::Parse(args);
    } catch (const EStationUsageError&) {
        return false;
    }
    return line.Request == TCommandLine::TRequest::Run &&
           (line.PortList || line.Report || line.Units.size() > 1);
}

TStationOptions TStationOptions::Parse(const std::vector<std::string>& args) {
    const TCommandLine line = TCommandLine::Parse(args);
    // A batch's units get these from the batch; an operator who gives them gets no hint
    // that they exist.
    if (!line.FirstUnitOption.empty()) throw EStationUsageError("unknown option " + line.FirstUnitOption);
    TStationOptions o;
    for (const TCommandLine::TUnit& unit : line.Units) {
        if (unit.Port != 0)
            o.Units.push_back({"COM" + std::to_string(unit.Port), unit.Port, {}});
        else
            o.Units.push_back({unit.Device, 0, unit.Device});
    }
    if (o.Units.empty()) throw EStationUsageError("a batch needs --port, --ports or --device");
    for (std::size_t i = 0; i < o.Units.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (o.Units[i].Port != 0 && o.Units[i].Port == o.Units[j].Port)
                throw EStationUsageError("port " + o.Units[i].Label + " is listed twice");
    o.Image = line.Image;
    o.Processor = line.Processor;
    o.Model = line.Model;
    o.Report = line.Report;
    return o;
}
