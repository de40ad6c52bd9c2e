#include "cli/StationCommandLine.h"

#include "cli/StationUsageError.h"

const std::vector<TStationCommandLine::TOption>& TStationCommandLine::Options() {
    static const std::vector<TOption> options = {
        {"--help", false, TFace::Both},          {"-h", false, TFace::Both},
        {"--version", false, TFace::Both},       {"--list-ports", false, TFace::Both},
        {"--port", true, TFace::Both},           {"--device", true, TFace::Both},
        {"--image", true, TFace::Both},          {"--processor", true, TFace::Both},
        {"--model", true, TFace::Both},          {"--ports", true, TFace::Batch},
        {"--report", true, TFace::Batch},        {"--station-events", true, TFace::Unit},
        {"--station-report", true, TFace::Unit}, {"--station-batch", true, TFace::Unit},
        {"--station-unit", true, TFace::Unit},   {"--station-device", true, TFace::Unit},
        {"--station-pid", true, TFace::Unit},
    };
    return options;
}

const TStationCommandLine::TOption* TStationCommandLine::Find(const std::string& name) {
    for (const TOption& option : Options())
        if (name == option.Name) return &option;
    return nullptr;
}

TStationCommandLine::TRequest TStationCommandLine::Tokenize(const std::vector<std::string>& args, TFace face,
                                                            std::vector<TToken>& tokens) {
    // Help and version first, over the whole line: an error elsewhere does not hide them.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const TOption* option = Find(args[i]);
        if (!option) continue;
        if (args[i] == "--help" || args[i] == "-h") return TRequest::Help;
        if (args[i] == "--version") return TRequest::Version;
        if (args[i] == "--list-ports") return TRequest::ListPorts;
        if (option->TakesValue) ++i;
    }
    tokens.clear();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const TOption* option = Find(a);
        const bool known = option && (option->Face == TFace::Both || option->Face == face);
        if (!known) throw EStationUsageError("unknown option " + a);
        TToken token{a, {}};
        if (option->TakesValue) {
            if (i + 1 >= args.size()) throw EStationUsageError("option " + a + " needs a value");
            token.Value = args[++i];
        }
        tokens.push_back(std::move(token));
    }
    return TRequest::Run;
}
