#include <gtest/gtest.h>

#include <filesystem>

#include "app/ApplicationCore.h"
#include "platform/ConvertError.h"
#include "support/MemoryPortFactory.h"
#include "support/RecordingLog.h"
#include "support/TempDir.h"
#include "support/VirtualMessageLoop.h"

namespace {

// Records what the core asks of its face, in order.
class TRecordingAppView : public TAppView {
public:
    void ShowMainWindow() override { Events.push_back("show"); }
    void HideLoadFile() override { Events.push_back("hide load file"); }
    void SetApplicationTitle(const std::string& title) override { Title = title; }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    void SetStatusText(const std::string& text) override { Status = text; }
    void ShowMessage(const std::string& text) override { Events.push_back("message: " + text); }
    void ErrorBox(const std::string& text) override { Events.push_back("error box: " + text); }
    void SetStartEnabled(bool enabled) override { StartEnabled = enabled; }
    void SetCloseEnabled(bool) override {}
    void ShowError(const std::string& text) override { Events.push_back("error: " + text); }

    std::vector<std::string> Events;
    std::string Title = "unset", Caption = "unset", Status;
    bool StartEnabled = false;
};

// The core in a working directory of its own, with in-memory ports.
class ApplicationCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(work.Path());
        ports = std::make_shared<TMemoryPortFactory>(loop);
        core = std::make_unique<TApplicationCore>(loop, view, log, [this](const std::string& base) {
            baseDir = base;
            return ports;
        });
    }
    void TearDown() override {
        core.reset();
        std::filesystem::current_path(previous);
    }
    std::string Settings() const { return TTempDir::Read(work.File("Bootload.Ini")); }

    TTempDir work;
    std::filesystem::path previous;
    TVirtualMessageLoop loop;
    TRecordingLog log;
    TRecordingAppView view;
    std::shared_ptr<TMemoryPortFactory> ports;
    std::unique_ptr<TApplicationCore> core;
    std::string baseDir;
};

TEST_F(ApplicationCoreTest, StartUpWithoutSettingsFileOrPort) {
    core->FormCreate();
    EXPECT_EQ(Settings(), "[Options]\r\nComms_Port=1\r\n");
    // The window is visible before the message about the port is shown.
    const std::vector<std::string> events = {"show", "hide load file",
                                             "message: Unable To Open Comms Port. Please Select Another."};
    EXPECT_EQ(view.Events, events);
    EXPECT_EQ(view.Status, "");
    EXPECT_TRUE(view.StartEnabled);
    EXPECT_EQ(view.Title, view.Caption);
    // The title table's row for the embedded package's model, with its version.
    EXPECT_EQ(view.Title, "VX6181 Pump Controller Firmware Update v1.12");
    EXPECT_EQ(baseDir, work.Path().string() + "/");
    ASSERT_NE(core->Link(), nullptr);
    EXPECT_FALSE(core->Link()->IsOpen());
    EXPECT_EQ(ports->Requests(), std::vector<std::string>{"COM1"});
    // The embedded package is loaded and its last address known.
    EXPECT_EQ(core->Package.ProgramEnd, 0xFFFFu);
    EXPECT_TRUE(core->Package.BlockPresent[511]);
}

TEST_F(ApplicationCoreTest, SavedPortOpensAtTheStartUpSettingsAndIsWrittenBack) {
    work.Write("Bootload.Ini", "; operator notes\r\n[options]\r\ncomms_port=0x3\r\n[Other]\r\nKey=1\r\n");
    ports->AddPort("COM3");
    core->FormCreate();
    EXPECT_EQ(view.Status, " Port: COM3");
    EXPECT_EQ(Settings(), "; operator notes\r\n[options]\r\ncomms_port=3\r\n[Other]\r\nKey=1\r\n");
    const TLumoComms& link = *core->Link();
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.BaudRate, 115200u);
    EXPECT_EQ(link.RxBufferSize, 500);
    EXPECT_EQ(ports->Device("COM3")->CurrentSettings().BaudRate, 115200u);
}

TEST_F(ApplicationCoreTest, SavedPortNumbersMapToTheOneBytePortIndex) {
    struct TCase {
        std::string stored;
        std::string requested;
    };
    const std::vector<TCase> cases = {
        {"0", "\\\\.\\COM256"}, {"40", "\\\\.\\COM40"}, {"abc", "COM1"}, {"", "COM1"}, {"257", "COM1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        work.Write("Bootload.Ini", "[Options]\r\nComms_Port=" + c.stored + "\r\n");
        auto fresh = std::make_shared<TMemoryPortFactory>(loop);
        TApplicationCore other(loop, view, log, [fresh](const std::string&) { return fresh; });
        other.FormCreate();
        EXPECT_EQ(fresh->Requests(), std::vector<std::string>{c.requested});
    }
}

TEST_F(ApplicationCoreTest, PortChange) {
    ports->AddPort("COM3");
    ports->AddPort("COM5");
    work.Write("Bootload.Ini", "[Options]\r\nComms_Port=3\r\n");
    core->FormCreate();
    ASSERT_EQ(core->SelectedPortPosition(), 2);

    core->ChangePort(4);  // COM5
    EXPECT_EQ(view.Status, " Port: COM5");
    EXPECT_EQ(core->CommsPortNumber, 5);
    EXPECT_EQ(Settings(), "[Options]\r\nComms_Port=5\r\n");
    EXPECT_TRUE(core->Link()->IsOpen());

    view.Events.clear();
    core->ChangePort(8);  // COM9 is missing: back to COM5, the error box, nothing else changes
    EXPECT_EQ(view.Events, std::vector<std::string>{"error box: Unable To Open Comm Port."});
    EXPECT_EQ(view.Status, " Port: COM5");
    EXPECT_EQ(core->CommsPortNumber, 5);
    EXPECT_EQ(Settings(), "[Options]\r\nComms_Port=5\r\n");
    EXPECT_TRUE(core->Link()->IsOpen());
    EXPECT_EQ(ports->Requests().back(), "COM5");

    core->ChangePort(-1);  // no item selected asks for index 255
    EXPECT_EQ(ports->Requests()[ports->Requests().size() - 2], "\\\\.\\COM256");
}

TEST_F(ApplicationCoreTest, LoadFileTakesTheLow16BitsAndKeepsWhatEarlierStepsSet) {
    core->FormCreate();
    const std::string path = work.Write("image.bin", std::string(1000, '\x42'));
    const auto embeddedTail = core->Package.ImageBuffer[1000];
    core->LoadFileImage(path);
    EXPECT_EQ(core->Package.ImageBuffer[999], 0x42);
    EXPECT_EQ(core->Package.ImageBuffer[1000], embeddedTail);  // a short file leaves the rest

    core->ApplyProcessorText("4321");
    EXPECT_EQ(core->Package.ProgramEnd, 0x1FFFu);
    view.StartEnabled = false;
    core->ApplyModelText("70000");
    EXPECT_EQ(core->Package.PackageModel, 4464);
    EXPECT_EQ(core->Package.ExpectedModel, 4464);
    EXPECT_EQ(log.Lines().back(), "New File Loaded...VX4464");
    EXPECT_EQ(log.AppendCount(), 1);
    EXPECT_EQ(log.AddCount(), 0);
    EXPECT_TRUE(view.StartEnabled);
    EXPECT_EQ(core->Package.PackageVersion, 112);  // the version and title stay

    try {
        core->ApplyProcessorText("abc");
        FAIL() << "abc converted";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(core->Package.ProcessorNumber, 4321);
    EXPECT_THROW(core->ApplyModelText(""), EConvertError);  // Cancel gives the empty text
    EXPECT_EQ(core->Package.PackageModel, 4464);
}

TEST_F(ApplicationCoreTest, ClosingWithoutAnUpgradeReleasesTheLink) {
    ports->AddPort("COM1");
    core->FormCreate();
    ASSERT_TRUE(core->Link()->IsOpen());
    EXPECT_TRUE(core->FormClose());
    EXPECT_EQ(core->Link(), nullptr);
    EXPECT_FALSE(ports->Device("COM1")->IsOpen());
    core->StartUpgrade();  // no link: nothing happens
    core->ChangePort(0);
    EXPECT_EQ(ports->Devices("COM1").size(), 1u);  // nothing was opened again
}

}  // namespace
