#include "station/StationOptions.h"

#include "cli/PortList.h"
#include "cli/StationUsageError.h"

namespace {

std::string PortLabel(int port) {
    return "COM" + std::to_string(port);
}

}  // namespace

bool TStationOptions::Applies(const std::vector<std::string>& args) {
    int units = 0;
    bool list = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const TStationCommandLine::TOption* option = TStationCommandLine::Find(a);
        if (!option) continue;
        // Help, version and the port list are the single runner's to answer, whatever else is given.
        if (a == "--help" || a == "-h" || a == "--version" || a == "--list-ports") return false;
        list = list || a == "--ports" || a == "--report";
        if (a == "--port" || a == "--device") ++units;
        // A value never counts as an option.
        if (option->TakesValue) ++i;
    }
    return list || units > 1;
}

TStationOptions TStationOptions::Parse(const std::vector<std::string>& args) {
    TStationOptions o;
    std::vector<TStationCommandLine::TToken> tokens;
    TStationCommandLine::Tokenize(args, TStationCommandLine::TFace::Batch, tokens);
    for (const TStationCommandLine::TToken& t : tokens) {
        const std::string& a = t.Name;
        auto once = [&](std::optional<std::string>& into) {
            if (into) throw EStationUsageError("option " + a + " is given twice");
            into = t.Value;
        };
        if (a == "--port") {
            const int port = TPortList::ParsePort(t.Value);
            o.Units.push_back({PortLabel(port), port, {}});
        } else if (a == "--ports") {
            for (const int port : TPortList::Parse(t.Value)) o.Units.push_back({PortLabel(port), port, {}});
        } else if (a == "--device") {
            if (t.Value.empty()) throw EStationUsageError("--device needs a path");
            o.Units.push_back({t.Value, 0, t.Value});
        } else if (a == "--image") {
            once(o.Image);
        } else if (a == "--processor") {
            once(o.Processor);
        } else if (a == "--model") {
            once(o.Model);
        } else if (a == "--report") {
            once(o.Report);
            if (o.Report->empty()) throw EStationUsageError("--report needs a file name");
        }
    }
    if (o.Units.empty()) throw EStationUsageError("a batch needs --port, --ports or --device");
    for (std::size_t i = 0; i < o.Units.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (o.Units[i].Port != 0 && o.Units[i].Port == o.Units[j].Port)
                throw EStationUsageError("port " + o.Units[i].Label + " is listed twice");
    const int imageParts = (o.Image ? 1 : 0) + (o.Processor ? 1 : 0) + (o.Model ? 1 : 0);
    if (imageParts != 0 && imageParts != 3)
        throw EStationUsageError("--image, --processor and --model go together");
    return o;
}
