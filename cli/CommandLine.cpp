#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/PortList.h"
#include "cli/StationUsageError.h"

namespace {

// The sections of the help, in its order. An option in none is a unit's, given by a batch;
// CLI11 hides an option whose group is empty.
const std::string kPortSection = "Port";
const std::string kImageSection = "Image";
const std::string kBatchSection = "Batch";
const std::string kOtherSection = "Other";
const std::string kUnitOfABatch;

// In the help, an option's description starts in this column, and no line reaches the last.
constexpr std::size_t kDescriptionColumn = 20;
constexpr std::size_t kHelpWidth = 80;

// The description of every option. Values are kept as the words given (CLI11 converts
// nothing): port numbers follow the system's own integer rule, in TPortList.
class TDescription {
public:
    TDescription() : App("", "bootloader-cli") {
        // The requests are answered by Parse wherever they stand, not by CLI11 as it goes;
        // a word the description does not know is kept, so that they still can, and then
        // refused by name.
        App.set_help_flag();
        App.allow_extras();

        Port = Value("--port", "N", kPortSection, "COM<N>, for N from 1 to 256");
        Device = Value("--device", "PATH", kPortSection,
                       "that device, opened directly with the same exclusive access and checks");
        Single(Value("--image", "FILE", kImageSection,
                     "raw image bytes by address: a regular file of exactly 65536 bytes, as the build "
                     "demands of the image it embeds"),
               &TCommandLine::Image);
        Single(Value("--processor", "N", kImageSection,
                     "target processor number (decides the last program address)"),
               &TCommandLine::Processor);
        Single(Value("--model", "N", kImageSection, "model number the unit's boot loader must report"),
               &TCommandLine::Model);
        Ports = Value("--ports", "LIST", kBatchSection, "ports by number, e.g. 1-8,12 (numbers as above)");
        Single(Value("--report", "FILE", kBatchSection,
                     "appends one JSON line per unit (JSON Lines) to FILE, a regular file; each unit's "
                     "process writes its own line, so every started unit has one however the batch ends"),
               &TCommandLine::Report);
        ListPorts = Flag("--list-ports",
                         "list the serial ports this system knows (on Linux the ports directory's "
                         "entries and the devices by id), each with the device behind it and what is "
                         "known of it, and exit");
        Version = Flag("--version",
                       "print the version and build, description, copyright and the firmware package "
                       "carried, and exit");
        Help = Flag("-h,--help", "show this text and exit");

        Unit("--station-events", "FD", "the descriptor the unit's events go to",
             &TCommandLine::StationEvents);
        Unit("--station-report", "FD", "the descriptor of the report the unit writes its line to",
             &TCommandLine::StationReport);
        Unit("--station-batch", "TEXT", "the batch's name in the report", &TCommandLine::StationBatch);
        Unit("--station-unit", "LABEL", "the unit's label (COM3, or the device as given)",
             &TCommandLine::StationUnit);
        Unit("--station-device", "PATH", "the device the unit's port resolved to",
             &TCommandLine::StationDevice);
        Unit("--station-pid", "PID", "the batch's process id", &TCommandLine::StationPid);
    }

    // An option given at most once, and where its value goes.
    struct TSingle {
        CLI::Option* Option;
        std::optional<std::string> TCommandLine::*Field;
    };

    CLI::App App;
    CLI::Option* Port;
    CLI::Option* Device;
    CLI::Option* Ports;
    CLI::Option* ListPorts;
    CLI::Option* Version;
    CLI::Option* Help;
    std::vector<TSingle> Singles;
    std::vector<const CLI::Option*> UnitOptions;

private:
    // Every occurrence's value is kept, so that the order of the units and a repeated
    // option are the parser's to see.
    CLI::Option* Value(const std::string& name, const std::string& value, const std::string& section,
                       const std::string& text) {
        return App.add_option(name, text)->type_name(value)->group(section)->take_all();
    }
    CLI::Option* Flag(const std::string& name, const std::string& text) {
        return App.add_flag(name)->description(text)->group(kOtherSection);
    }
    void Single(CLI::Option* option, std::optional<std::string> TCommandLine::*field) {
        Singles.push_back({option, field});
    }
    void Unit(const std::string& name, const std::string& value, const std::string& text,
              std::optional<std::string> TCommandLine::*field) {
        CLI::Option* option = Value(name, value, kUnitOfABatch, text);
        Single(option, field);
        UnitOptions.push_back(option);
    }
};

// "--help, -h": every name of an option, long ones first.
std::string Names(const CLI::Option& option) {
    std::string names;
    for (const std::string& name : option.get_lnames()) names += (names.empty() ? "--" : ", --") + name;
    for (const std::string& name : option.get_snames()) names += (names.empty() ? "-" : ", -") + name;
    return names;
}

// The help's lines for the options of one section: name and value, then the description,
// wrapped at word boundaries.
std::string Section(const TDescription& description, const std::string& section) {
    std::string text;
    for (const CLI::Option* option : description.App.get_options()) {
        if (option->get_group() != section) continue;
        std::string line = "  " + Names(*option);
        if (!option->get_type_name().empty()) line += " " + option->get_type_name();
        if (line.size() + 1 > kDescriptionColumn) {
            text += line + "\n";
            line.clear();
        }
        line.resize(kDescriptionColumn, ' ');
        std::size_t start = 0;
        const std::string& words = option->get_description();
        bool first = true;
        while (start < words.size()) {
            std::size_t end = words.find(' ', start);
            if (end == std::string::npos) end = words.size();
            const std::string word = words.substr(start, end - start);
            if (!first && line.size() + 1 + word.size() >= kHelpWidth) {
                text += line + "\n";
                line.assign(kDescriptionColumn, ' ');
                first = true;
            }
            line += (first ? "" : " ") + word;
            first = false;
            start = end + 1;
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace

TCommandLine TCommandLine::Parse(const std::vector<std::string>& args) {
    TDescription description;
    std::string problem;
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes the last word first
        description.App.parse(reversed);
    } catch (const CLI::ParseError& error) {
        // A value is taken whatever it looks like, so only the line's last word can lack
        // one; every word before it has been parsed, the requests included.
        const std::string& last = args.back();
        problem = last.rfind("--", 0) == 0 ? "option " + last.substr(0, last.find('=')) + " needs a value"
                                           : error.what();
    }

    TCommandLine line;
    for (const CLI::Option* option : description.App.parse_order()) {
        if (option == description.Help) line.Request = TRequest::Help;
        if (option == description.Version) line.Request = TRequest::Version;
        if (option == description.ListPorts) line.Request = TRequest::ListPorts;
        if (line.Request != TRequest::Run) return line;
    }
    if (const std::vector<std::string> extras = description.App.remaining(); !extras.empty()) {
        const std::string& word = extras.front();
        const bool option = word.size() > 1 && word[0] == '-' && word != "--";
        throw EStationUsageError((option ? "unknown option " : "unexpected word ") + word);
    }
    if (!problem.empty()) throw EStationUsageError(problem);

    // The units in the order given across --port, --ports and --device: the parse order
    // names the option of each value, each option's results hold its values in turn.
    std::map<const CLI::Option*, std::size_t> taken;
    for (const CLI::Option* option : description.App.parse_order()) {
        const std::string& value = option->results()[taken[option]++];
        if (option == description.Port) {
            line.Units.push_back({TPortList::ParsePort(value), {}});
        } else if (option == description.Ports) {
            line.PortList = true;
            for (const int port : TPortList::Parse(value)) line.Units.push_back({port, {}});
        } else if (option == description.Device) {
            if (value.empty()) throw EStationUsageError("--device needs a path");
            line.Units.push_back({0, value});
        } else if (line.FirstUnitOption.empty()) {
            for (const CLI::Option* unitOption : description.UnitOptions)
                if (option == unitOption) line.FirstUnitOption = Names(*option);
        }
    }
    for (const TDescription::TSingle& single : description.Singles) {
        const std::vector<std::string>& values = single.Option->results();
        if (values.size() > 1)
            throw EStationUsageError("option " + Names(*single.Option) + " is given twice");
        if (!values.empty()) line.*single.Field = values.front();
    }
    if (line.Report && line.Report->empty()) throw EStationUsageError("--report needs a file name");
    const int imageParts = (line.Image ? 1 : 0) + (line.Processor ? 1 : 0) + (line.Model ? 1 : 0);
    if (imageParts != 0 && imageParts != 3)
        throw EStationUsageError("--image, --processor and --model go together");
    return line;
}

std::string TCommandLine::Help(const std::string& portNames) {
    const TDescription description;
    return "Usage: bootloader-cli [--port N | --device PATH] [IMAGE]\n"
           "       bootloader-cli UNIT... [--report FILE] [IMAGE]\n"
           "       bootloader-cli --list-ports | --version | --help\n"
           "  IMAGE is --image FILE --processor N --model N; a UNIT is --ports LIST,\n"
           "  --port N or --device PATH.\n"
           "\n"
           "Upgrades the unit on a serial port with the firmware package this program\n"
           "carries (or with an image file), exactly as the desktop program's Start button\n"
           "does, and exits. Given several units, upgrades them all at once.\n"
           "\n"
           "Port:\n" +
           Section(description, kPortSection) +
           "  With neither, the port saved in Bootload.Ini in the working directory, as the\n"
           "  desktop program uses it: the file is created with port 1 when missing and\n"
           "  written again after the port opened. With either, that file is not used.\n" +
           portNames +
           "\n"
           "Image (all three together, as the desktop program's Load File does):\n" +
           Section(description, kImageSection) +
           "  Numbers: decimal with optional sign, or hexadecimal after $, x, X, 0x or 0X;\n"
           "  the low 16 bits are kept.\n"
           "\n"
           "Batch (a station: every unit upgraded at once, each as a run of its own):\n" +
           Section(description, kBatchSection) +
           "  --port and --device may be given more than once, and mixed with --ports.\n"
           "  A port list, a report or more than one unit makes a batch. A port listed\n"
           "  twice, or two names for one device, is a usage error; a port that does not\n"
           "  open fails that unit only. On a terminal a table is redrawn in place;\n"
           "  otherwise each log line is printed once behind its port (\"COM3: ...\").\n"
           "  Then a summary.\n"
           "  Exit status of a batch: 0 every unit completed; 1 a unit failed (or the\n"
           "  report could not be written); 3 none failed but settings were not restored\n"
           "  on one; 4 interrupted (the units still running were ended); 2 usage or\n"
           "  start-up (nothing was started).\n"
           "\n"
           "Other:\n" +
           Section(description, kOtherSection) +
           "  --help, --version and --list-ports answer wherever they stand. A value is\n"
           "  the next word, whatever it looks like (--image -x.bin), or follows = in the\n"
           "  option's own word (--port=3).\n"
           "\n"
           "Output: the operator log on standard output. On a terminal it is shown live,\n"
           "a replaced line rewritten in place; otherwise each line is printed once, in its\n"
           "final form. Errors go to standard error.\n"
           "\n"
           "Exit status:\n"
           "  0  the upgrade ran to its last step (\"Finalising Upgrade.....Done\"),\n"
           "     settings carried across it (if any) written back\n"
           "  1  the upgrade stopped at a failure\n"
           "  2  usage or start-up error (bad option, image file, package, settings file\n"
           "     or port)\n"
           "  3  the upgrade ran to its last step, but the settings carried across it\n"
           "     could not all be written back (model 6155 upgraded across 1.10): the unit\n"
           "     runs its new firmware with factory settings; standard error names the\n"
           "     write that failed\n";
}
