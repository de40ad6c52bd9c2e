// bootloader-cli: the headless runner. The same start-up as the desktop program, without
// windows, then one upgrade, then exit. Scripts and production lines rely on its options,
// output and exit status.
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ApplicationCore.h"
#include "app/VersionText.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleLog.h"
#include "cli/RunnerContract.h"
#include "cli/RunnerPlatform.h"
#include "cli/StationUsageError.h"
#include "platform/FileSystem.h"
#include "platform/PortInventory.h"
#include "platform/StrToInt.h"
#include "platform/VersionInfo.h"
#include "station/Station.h"
#include "station/StationEventLog.h"
#include "station/StationRecord.h"

namespace {

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

// A command line that cannot run: what is wrong, and where the options are told. The usage
// text itself would bury that one line.
[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "bootloader-cli: %s\n(bootloader-cli --help shows the options)\n", message.c_str());
    std::exit(kExitUsage);
}

// A command line that names something unusable (an image file): the reason alone.
[[noreturn]] void StartUpError(const std::string& message) {
    std::fprintf(stderr, "bootloader-cli: %s\n", message.c_str());
    std::exit(kExitUsage);
}

// The options of a single run, or of a unit of a batch; a batch has been handed over before.
TOptions ParseOptions(const std::vector<std::string>& args) {
    TCommandLine line;
    try {
        line = TCommandLine::Parse(args);
        switch (line.Request) {
            case TCommandLine::TRequest::Help:
                std::fputs(TCommandLine::Help(TRunnerPlatform::PortHelp()).c_str(), stdout);
                std::exit(kExitCompleted);
            case TCommandLine::TRequest::Version:
                std::fputs(VersionText("bootloader-cli").c_str(), stdout);
                std::exit(kExitCompleted);
            case TCommandLine::TRequest::ListPorts:
                std::fputs(TPortInventory::List(CurrentDirectory()).c_str(), stdout);
                std::exit(kExitCompleted);
            case TCommandLine::TRequest::Run:
                break;
        }
    } catch (const EStationUsageError& error) {
        UsageError(error.what());
    }
    if (line.PortList || line.Report || line.Units.size() > 1)
        UsageError(
            "a port list, a report or more than one unit makes a batch, which this build does not run");
    TOptions options;
    if (!line.Units.empty()) {
        if (line.Units.front().Port != 0)
            options.port = line.Units.front().Port;
        else
            options.device = line.Units.front().Device;
    }
    options.image = line.Image;
    options.processor = line.Processor;
    options.model = line.Model;
    if (line.StationEvents) options.stationEvents = StrToIntDef(*line.StationEvents, -1);
    if (line.StationReport) options.stationReport = StrToIntDef(*line.StationReport, -1);
    options.stationBatch = line.StationBatch.value_or("");
    options.stationUnit = line.StationUnit.value_or("");
    options.stationDevice = line.StationDevice.value_or("");
    options.stationPid = StrToIntDef(line.StationPid.value_or(""), 0);
    if (options.image) {
        if (const std::string problem = ImageFileProblem(*options.image); !problem.empty())
            StartUpError(problem);
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
    // The port as the operator named it, for the reason of a failed open: after the
    // operator log's own message, what the system said (missing, in use, refused).
    const std::string port = options.device ? *options.device : "COM" + std::to_string(core.CommsPortNumber);
    if (!core.Link() || !core.Link()->IsOpen()) {
        if (core.Link() && core.Link()->OpenFailure().Failed())
            complain(core.Link()->OpenFailure().Describe(port));
        else if (!view.MessagesShown())
            complain(port + " could not be opened");
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
    // An upgrade that failed because a reopen of its port failed (the port taken in the gap
    // before the upgrade's first open, an adapter pulled) says why.
    if (!view.Completed() && !core.Link()->IsOpen() && core.Link()->OpenFailure().Failed())
        complain(core.Link()->OpenFailure().Describe(port));
    const TSettingsRestoreOutcome restore = core.SettingsRestore();
    const int status = UpgradeExitStatus(view.Completed(), restore);
    if (status == kExitSettingsNotRestored) complain(SettingsNotRestoredMessage(restore));
    return end(status);
}
