// bootloader-cli: the headless runner. The same start-up as the desktop program, without
// windows, then one upgrade, then exit. Scripts and production lines rely on its options,
// output and exit status.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ApplicationCore.h"
#include "app/VersionText.h"
#include "cli/ConsoleLog.h"
#include "cli/PortList.h"
#include "cli/RunnerContract.h"
#include "cli/RunnerPlatform.h"
#include "cli/StationCommandLine.h"
#include "cli/StationUsageError.h"
#include "platform/PortResolver.h"
#include "platform/StrToInt.h"
#include "platform/VersionInfo.h"
#include "station/Station.h"
#include "station/StationEventLog.h"
#include "station/StationPorts.h"
#include "station/StationRecord.h"

namespace {

const std::string kUsage =
    std::string(
        "Usage: bootloader-cli [--port N | --device PATH] [--image FILE --processor N --model N]\n"
        "       bootloader-cli --version\n"
        "\n"
        "Upgrades the unit on a serial port with the firmware package this program carries\n"
        "(or with an image file), exactly as the desktop program's Start button does, and exits.\n"
        "\n"
        "Port:\n"
        "  (neither option)  the port saved in Bootload.Ini in the working directory, as the\n"
        "                    desktop program uses it; the file is created with port 1 when\n"
        "                    missing and written again after the port opened.\n") +
    TRunnerPlatform::PortHelp() +
    "\n"
    "Image (all three together, as the desktop program's Load File does):\n"
    "  --image FILE      raw image bytes by address: a regular file of exactly 65536\n"
    "                    bytes, as the build demands of the image it embeds\n"
    "  --processor N     target processor number (decides the last program address)\n"
    "  --model N         model number the unit's boot loader must report\n"
    "  Numbers: decimal with optional sign, or hexadecimal after $, x, X, 0x or 0X;\n"
    "  the low 16 bits are kept.\n"
    "\n"
    "Batch (a station: every listed unit upgraded at once, each as a run of its own):\n"
    "  bootloader-cli --ports LIST | --port N... | --device PATH... [--report FILE] [image]\n"
    "  --ports LIST      ports by number, e.g. 1-8,12 (ports 1 to 256, numbers as above)\n"
    "  --port, --device  may be given more than once, and mixed with --ports\n"
    "  --report FILE     appends one JSON line per unit (JSON Lines) to FILE, a regular\n"
    "                    file; each unit's process writes its own line, so every started\n"
    "                    unit has one however the batch ends\n"
    "  A port list, a report or more than one unit makes a batch. A port listed twice,\n"
    "  or two names for one device, is a usage error; a port that does not open fails\n"
    "  that unit only. On a terminal a table is redrawn in place; otherwise each log\n"
    "  line is printed once behind its port (\"COM3: ...\"). Then a summary.\n"
    "  Exit status of a batch: 0 every unit completed; 1 a unit failed (or the report\n"
    "  could not be written); 3 none failed but settings were not restored on one;\n"
    "  4 interrupted (the units still running were ended); 2 usage or start-up\n"
    "  (nothing was started).\n"
    "\n"
    "  --list-ports      list the ports directory's entries and the serial devices by id,\n"
    "                    each with the device it leads to and what is known of it, and exit\n"
    "  --version         print the version and build, description, copyright and the\n"
    "                    firmware package carried, and exit\n"
    "\n"
    "Output: the operator log on standard output. On a terminal it is shown live, a\n"
    "replaced line rewritten in place; otherwise each line is printed once, in its final\n"
    "form. Errors go to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  the upgrade ran to its last step (\"Finalising Upgrade.....Done\"), settings\n"
    "     carried across it (if any) written back\n"
    "  1  the upgrade stopped at a failure\n"
    "  2  usage or start-up error (bad option, image file, package, settings file or port)\n"
    "  3  the upgrade ran to its last step, but the settings carried across it could not\n"
    "     all be written back (model 6155 upgraded across 1.10): the unit runs its new\n"
    "     firmware with factory settings; standard error names the write that failed\n";

struct TOptions {
    std::optional<std::int32_t> port;
    std::optional<std::string> device;
    std::optional<std::string> image;
    std::optional<std::string> processor;
    std::optional<std::string> model;
    // A unit of a batch (given by the batch, not in the usage text): events go to this
    // descriptor, the unit's line to the report at the other, as the batch's other fields say.
    std::optional<int> stationEvents;
    std::optional<int> stationReport;
    std::string stationBatch;
    std::string stationUnit;
    std::string stationDevice;
    int stationPid = 0;
};

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "bootloader-cli: %s\n%s", message.c_str(), kUsage.c_str());
    std::exit(kExitUsage);
}

TOptions ParseOptions(const std::vector<std::string>& args) {
    TOptions options;
    std::vector<TStationCommandLine::TToken> tokens;
    try {
        switch (TStationCommandLine::Tokenize(args, TStationCommandLine::TFace::Unit, tokens)) {
            case TStationCommandLine::TRequest::Help:
                std::fputs(kUsage.c_str(), stdout);
                std::exit(kExitCompleted);
            case TStationCommandLine::TRequest::Version:
                std::fputs(VersionText("bootloader-cli").c_str(), stdout);
                std::exit(kExitCompleted);
            case TStationCommandLine::TRequest::ListPorts:
#ifdef BOOTLOADER_LIST_PORTS
                std::fputs(TStationPorts::List(
                               TPortResolver(std::filesystem::current_path().string() + "/").PortsDirectory())
                               .c_str(),
                           stdout);
                std::exit(kExitCompleted);
#else
                UsageError("--list-ports is not available in this build");
#endif
            case TStationCommandLine::TRequest::Run:
                break;
        }
        for (const TStationCommandLine::TToken& token : tokens) {
            const std::string& arg = token.Name;
            const std::string& value = token.Value;
            if (arg == "--port") {
                options.port = TPortList::ParsePort(value);
            } else if (arg == "--device") {
                options.device = value;
            } else if (arg == "--image") {
                options.image = value;
            } else if (arg == "--processor") {
                options.processor = value;
            } else if (arg == "--model") {
                options.model = value;
            } else if (arg == "--station-events") {
                options.stationEvents = StrToIntDef(value, -1);
            } else if (arg == "--station-report") {
                options.stationReport = StrToIntDef(value, -1);
            } else if (arg == "--station-batch") {
                options.stationBatch = value;
            } else if (arg == "--station-unit") {
                options.stationUnit = value;
            } else if (arg == "--station-device") {
                options.stationDevice = value;
            } else if (arg == "--station-pid") {
                options.stationPid = StrToIntDef(value, 0);
            }
        }
    } catch (const EStationUsageError& error) {
        UsageError(error.what());
    }
    if (options.port && options.device) UsageError("--port and --device exclude each other");
    const int imageParts = (options.image ? 1 : 0) + (options.processor ? 1 : 0) + (options.model ? 1 : 0);
    if (imageParts != 0 && imageParts != 3) UsageError("--image, --processor and --model go together");
    if (options.image) {
        if (const std::string problem = ImageFileProblem(*options.image); !problem.empty())
            UsageError(problem);
    }
    return options;
}

// Messages to standard error, "bootloader-cli: " first; a unit of a batch keeps them for its
// record too.
class TComplaints {
public:
    void operator()(const std::string& text) {
        std::fprintf(stderr, "bootloader-cli: %s\n", text.c_str());
        if (Sink) Sink("bootloader-cli: " + text);
    }
    std::function<void(const std::string&)> Sink;
};

// The face of the application core on a terminal: messages go to standard error.
class TCliView : public TAppView {
public:
    TCliView(TRunnerPlatform& platform, TComplaints& complain) : platform_(platform), complain_(complain) {}

    void ShowMainWindow() override {}
    void HideLoadFile() override {}
    void SetApplicationTitle(const std::string& title) override { title_ = title; }
    void SetCaption(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void SetStartEnabled(bool) override {}
    void SetCloseEnabled(bool) override {}
    void ShowMessage(const std::string& text) override {
        messages_ = true;
        complain_(text);
    }
    void ErrorBox(const std::string& text) override { ShowMessage(text); }
    void ShowError(const std::string& text) override { ShowMessage(text); }
    void UpgradeEnded(bool completed) override {
        completed_ = completed;
        ended_ = true;
        platform_.Quit();
    }
    void StepEnded(int step, bool succeeded) override {
        if (OnStepEnded) OnStepEnded(step, succeeded);
    }
    void BootLoaderIdentified(std::uint32_t info) override {
        if (OnBootLoader) OnBootLoader(info);
    }

    // Where the sequencer's news go besides (a unit of a batch sends them to the batch).
    std::function<void(int, bool)> OnStepEnded;
    std::function<void(std::uint32_t)> OnBootLoader;

    bool Ended() const { return ended_; }
    bool Completed() const { return completed_; }
    bool MessagesShown() const { return messages_; }
    const std::string& Title() const { return title_; }

private:
    TRunnerPlatform& platform_;
    TComplaints& complain_;
    std::string title_;
    bool messages_ = false;
    bool ended_ = false;
    bool completed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    // Several units, a port list or a report: the batch runs this program once per unit.
    if (TStation::Applies(argc, argv)) return TStation::Run(argc, argv);
    TRunnerPlatform platform(argc, argv);
    const TOptions options = ParseOptions(platform.Arguments());
    TComplaints complain;

    // A unit of a batch writes its own line of the batch's report as it ends, and ends when
    // the batch asks it to or dies.
    std::unique_ptr<TStationRecord> record;
    if (options.stationEvents) {
        TStationRecord::TSetup setup;
        setup.ReportFd = options.stationReport.value_or(-1);
        setup.EventsFd = *options.stationEvents;
        setup.Station = options.stationPid;
        setup.Batch = options.stationBatch;
        setup.Label = options.stationUnit;
        setup.Port = options.port.value_or(0);
        setup.Device = options.stationDevice;
        try {
            setup.Package = TStationReport::Package(options.image, options.processor, options.model);
        } catch (const std::exception&) {
            // Checked by the batch before it started the unit: the core reports it below.
        }
        record = std::make_unique<TStationRecord>(std::move(setup));
        complain.Sink = [&record](const std::string& text) { record->Message(text); };
    }
    auto end = [&record](int status) { return record ? record->Finish(status) : status; };

    TMessageLoop& loop = platform.Loop();
    const bool live = platform.OutputIsTerminal();
    TConsoleLog console(stdout, live, live && platform.TerminalErasesLines());
    TStationEventLog log(console, options.stationEvents.value_or(-1));
    log.SetRecord(record.get());
    TCliView view(platform, complain);
    view.OnStepEnded = [&log](int step, bool succeeded) { log.StepEnded(step, succeeded); };
    view.OnBootLoader = [&log](std::uint32_t info) { log.BootLoaderIdentified(info); };

    TApplicationCore::TPortFactoryMaker makePorts = [&options, &platform](const std::string& baseDir) {
        return platform.MakePortFactory(baseDir, options.device);
    };
    TApplicationCore core(loop, view, log, makePorts);

    const bool useSettingsFile = !options.port && !options.device;
    if (options.port) core.CommsPortNumber = *options.port;
    try {
        core.FormCreate(useSettingsFile);
    } catch (const std::exception& error) {
        complain(error.what());
        return end(kExitUsage);
    }
    if (!core.Link() || !core.Link()->IsOpen()) {
        const std::string port =
            options.device ? *options.device : "COM" + std::to_string(core.CommsPortNumber);
        if (!view.MessagesShown()) complain(port + " could not be opened");
        return end(kExitUsage);
    }
    if (const auto actual = core.Link()->ActualBaudRate(); actual != 0 && actual != core.Link()->BaudRate) {
        complain("warning: the port runs at " + std::to_string(actual) + " bit/s, not " +
                 std::to_string(core.Link()->BaudRate));
    }
    if (options.image) {
        try {
            core.LoadFileImage(*options.image);
            core.ApplyProcessorText(*options.processor);
            core.ApplyModelText(*options.model);
        } catch (const std::exception& error) {
            complain(error.what());
            return end(kExitUsage);
        }
    }

    log.SetIdentitySource([&core]() -> std::optional<std::pair<std::uint16_t, std::uint16_t>> {
        const TDevicePreparation* device = core.Device();
        if (!device || device->DeviceModel == 0) return std::nullopt;
        return std::make_pair(device->DeviceModel, device->DeviceVersion);
    });
    loop.Post([&core] { core.StartUpgrade(); });
    if (!view.Ended()) platform.Exec();
    log.Finish();
    console.Finish();
    const TSettingsRestoreOutcome restore = core.SettingsRestore();
    const int status = UpgradeExitStatus(view.Completed(), restore);
    if (status == kExitSettingsNotRestored) complain(SettingsNotRestoredMessage(restore));
    return end(status);
}
