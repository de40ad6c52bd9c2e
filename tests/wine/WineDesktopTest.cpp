// The desktop program built for Windows (bootloader.exe), run under Wine on the display the
// prefix's programs share (Xvfb with openbox, see wine-prefix.sh) against unitsim on com1,
// and driven with xdotool as an operator would. What is checked is what the X server shows
// (captions through the window manager, pixels of the screen) and what the program's windows
// hold as a Windows program sees them (winprobe.exe: their controls, places, states, texts).
//
// As in the runner's tests, the prefix holds only the port links a test makes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QImage>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/AboutTexts.h"
#include "package/FirmwareImage.h"
#include "package/Resources.h"
#include "package/TitleTable.h"
#include "platform/VersionInfo.h"
#include "support/ChildProcess.h"
#include "support/SuccessLog.h"
#include "support/TempDir.h"
#include "support/TestPortsDirectory.h"
#include "tests/wine/WinePrefix.h"
#include "tests/xsession/XSession.h"
#include "ui/FormLayout.h"

namespace {

namespace fs = std::filesystem;

// The title start-up derives from the package this build carries.
std::string PackageTitle() {
    const auto package = std::make_unique<FirmwareImage>();
    package->PackageModel = ReadResourceWord("VX_NUM");
    package->PackageVersion = ReadResourceWord("FW_VER");
    std::string title;
    ApplyTitleTable(*package, title);
    return title;
}

QRect ToQRect(const TLayoutRect& r) {
    return QRect(r.Left, r.Top, r.Width, r.Height);
}

// Saves a picture when BOOTLOADER_TEST_PICTURES names a directory (for a person looking
// into a failure, and for the documentation's pictures).
void Keep(const QImage& picture, const QString& name) {
    if (const char* dir = ::getenv("BOOTLOADER_TEST_PICTURES"); dir != nullptr && *dir != '\0')
        picture.save(QDir(QString::fromLocal8Bit(dir)).filePath(name), "PNG");
}

// A window as winprobe.exe reads it.
struct TProbedControl {
    std::string Class;
    int Id = 0;
    QRect Rect;
    bool Enabled = false;
    std::string Text;
    std::vector<std::string> Items;
    int Selected = -1;
};
struct TProbedWindow {
    QSize Client;
    bool Enabled = false;
    int FocusId = 0;
    std::vector<TProbedControl> Controls;

    // The control at that place; null when none is.
    const TProbedControl* At(const QRect& rect) const {
        for (const TProbedControl& control : Controls)
            if (control.Rect == rect) return &control;
        return nullptr;
    }
    const TProbedControl* WithText(const std::string& text) const {
        for (const TProbedControl& control : Controls)
            if (control.Text == text) return &control;
        return nullptr;
    }
    // A control with that text or a list with that line.
    bool Shows(const std::string& text) const {
        if (WithText(text) != nullptr) return true;
        for (const TProbedControl& control : Controls)
            for (const std::string& item : control.Items)
                if (item == text) return true;
        return false;
    }
};

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// Every visible top-level window with that caption, read from inside Wine.
std::vector<TProbedWindow> Probe(const std::string& caption) {
    TChildProcess probe(BOOTLOADER_WINE64, {BOOTLOADER_WINDOW_PROBE, caption});
    probe.Wait();
    std::vector<TProbedWindow> windows;
    std::istringstream lines(probe.Stdout);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> f = Fields(line);
        if (f[0] == "window" && f.size() >= 5) {
            windows.push_back(
                TProbedWindow{QSize(std::stoi(f[1]), std::stoi(f[2])), f[3] == "1", std::stoi(f[4]), {}});
        } else if (f[0] == "control" && f.size() >= 10 && !windows.empty()) {
            windows.back().Controls.push_back(
                TProbedControl{f[1],
                               std::stoi(f[2]),
                               QRect(std::stoi(f[3]), std::stoi(f[4]), std::stoi(f[5]), std::stoi(f[6])),
                               f[7] == "1",
                               f[9],
                               {}});
        } else if (f[0] == "item" && f.size() >= 4 && !windows.empty()) {
            for (TProbedControl& control : windows.back().Controls)
                if (control.Id == std::stoi(f[1])) control.Items.push_back(f[3]);
        } else if (f[0] == "selected" && f.size() >= 3 && !windows.empty()) {
            for (TProbedControl& control : windows.back().Controls)
                if (control.Id == std::stoi(f[1])) control.Selected = std::stoi(f[2]);
        }
    }
    return windows;
}

// The window with that caption that shows that text (in a control or a list's line),
// polled until it is there; empty when it did not come.
std::optional<TProbedWindow> WaitForProbed(const std::string& caption, const std::string& text = "") {
    std::optional<TProbedWindow> found;
    TXSession::WaitUntil([&] {
        for (const TProbedWindow& window : Probe(caption))
            if (text.empty() || window.Shows(text)) found = window;
        return found.has_value();
    });
    return found;
}

// A label drawn in the enabled text colour: some pixel of its middle is nearly black.
// A picture that does not cover the area (a grab while the window was being unmapped, say)
// shows nothing of it: a pixel outside a picture reads black, which would pass for text.
bool LooksEnabled(const QImage& picture, const QRect& control) {
    const QRect label = control.adjusted(control.width() / 4, control.height() / 4, -control.width() / 4,
                                         -control.height() / 4);
    if (!picture.rect().contains(label)) return false;
    int darkest = 255;
    for (int y = label.top(); y <= label.bottom(); ++y)
        for (int x = label.left(); x <= label.right(); ++x)
            darkest = std::min(darkest, qGray(picture.pixel(x, y)));
    return darkest < 64;
}

// A label drawn greyed, in a picture that covers it.
bool LooksDisabled(const QImage& picture, const QRect& control) {
    return picture.rect().contains(control) && !LooksEnabled(picture, control);
}

// Text drawn somewhere in the area: a pixel that is nearly black.
bool HoldsText(const QImage& picture, const QRect& area) {
    if (!picture.rect().contains(area)) return false;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(picture.pixel(x, y)) < 64) return true;
    return false;
}

class WineDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path prefix = BOOTLOADER_WINE_PREFIX;
        ASSERT_TRUE(UseTestPrefix()) << "the Wine prefix is made by the wine_prefix_start test";
        std::string display = TTempDir::Read(prefix.string() + ".display");
        while (!display.empty() && std::isspace(static_cast<unsigned char>(display.back())))
            display.pop_back();
        ASSERT_FALSE(display.empty()) << "wine-prefix.sh start names the prefix's display";
        x = std::make_unique<TXSession>(display);
        RemovePortLinks();
        title = PackageTitle();
    }

    void TearDown() override {
        program.reset();
        if (unit) {
            unit->Signal(SIGTERM);
            unit->Wait();
        }
        RemovePortLinks();
        x.reset();
    }

    static void RemovePortLinks() {
        for (const auto& entry : fs::directory_iterator(fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices")) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 3 && (name.rfind("com", 0) == 0 || name.rfind("COM", 0) == 0))
                fs::remove(entry.path());
        }
    }

    // unitsim on a pseudo-terminal, which becomes COM1 of the prefix.
    void StartUnit(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--ports-dir",  ports.Path().string(),
                                         "--port",       "1",
                                         "--flash-dump", (work.Path() / "flash.bin").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        unit = std::make_unique<TChildProcess>("unitsim", args);
        const std::string ready = unit->ReadLine();
        ASSERT_EQ(ready.rfind("unitsim: COM1 -> ", 0), 0u) << ready;
        fs::create_symlink(ready.substr(ready.find("-> ") + 3),
                           fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices" / "com1");
    }

    // COMn leads to a directory, which no serial device is: opening it fails as opening a
    // missing port does.
    void LinkPortThatDoesNotOpen(int n) {
        fs::create_directories(work.Path() / "not-a-port");
        fs::create_symlink(work.Path() / "not-a-port",
                           fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices" / ("com" + std::to_string(n)));
    }

    void WriteSettings(int port) {
        std::ofstream(work.Path() / "Bootload.Ini", std::ios::binary)
            << "[Options]\r\nComms_Port=" << port << "\r\n";
    }

    // Starts bootloader.exe in the work directory and waits for its main window.
    TXSession::TWindow StartProgram() {
        program = std::make_unique<TChildProcess>(
            BOOTLOADER_WINE64, std::vector<std::string>{BOOTLOADER_WINDOWS_DESKTOP}, work.Path().string());
        return x->WaitForCaption(title);
    }

    // A control's place in the X window of the main window, which holds the menu bar above
    // the client area.
    QRect InMainWindow(TXSession::TWindow window, const char* name) {
        const int menuHeight = x->Geometry(window).height() - MainFormLayout().ClientHeight;
        return ToQRect(MainFormLayout().FormRect(name)).translated(0, menuHeight);
    }

    // Keys to the focused window; then the new window that has that caption, 0 when none came.
    TXSession::TWindow KeysOpen(const std::string& keys, const std::string& caption) {
        const auto known = x->ClientWindows();
        x->Key(keys);
        const TXSession::TWindow window = x->WaitForNewWindow(known);
        return window != 0 && x->Caption(window) == caption ? window : 0;
    }

    TTestPortsDirectory ports;
    TTempDir work;
    std::unique_ptr<TXSession> x;
    std::unique_ptr<TChildProcess> unit;
    std::unique_ptr<TChildProcess> program;
    std::string title;
};

TEST_F(WineDesktopTest, StartRunsAWholeUpgradeInTheDescribedWindow) {
    StartUnit();
    WriteSettings(1);
    const TXSession::TWindow main = StartProgram();
    ASSERT_NE(main, 0u) << "no window captioned " << title;
    EXPECT_EQ(x->Caption(main), title);

    // The window as described: client area, controls at their places with their texts.
    const auto probed = WaitForProbed(title, "Start");
    ASSERT_TRUE(probed);
    const TFormLayout& form = MainFormLayout();
    EXPECT_EQ(probed->Client, QSize(form.ClientWidth, form.ClientHeight));
    for (const char* name : {"ListBox1", "Button6", "Button1", "StatusBar1"}) {
        const TProbedControl* control = probed->At(ToQRect(form.FormRect(name)));
        ASSERT_NE(control, nullptr) << name << " is not at its place";
        if (form.Control(name).Kind == TControlKind::Button) {
            EXPECT_EQ(control->Text, form.Control(name).Text);
        }
    }
    EXPECT_EQ(probed->At(ToQRect(form.FormRect("StatusBar1")))->Text, " Port: COM1");
    EXPECT_EQ(probed->FocusId, probed->At(ToQRect(form.FormRect("ListBox1")))->Id)
        << "the log is first in tab order";

    const QRect start = InMainWindow(main, "Button6");
    ASSERT_TRUE(TXSession::WaitUntil([&] { return LooksEnabled(x->Grab(main), start); }));
    x->Click(main, start.center());
    QImage during;
    ASSERT_TRUE(TXSession::WaitUntil([&] { return LooksDisabled(during = x->Grab(main), start); }))
        << "Start was never drawn disabled";
    Keep(during, "wine-upgrading.png");

    // Help, About while a request waits: the box's own modal loop goes on dispatching the
    // link's messages, and the reply that arrives meanwhile is taken up as soon as the box
    // closes. The box stays up longer than a boot command's timeout (3.1 s), which would
    // end the upgrade with an error had the reply not been received meanwhile.
    const TXSession::TWindow about = KeysOpen("alt+h a", "About....");
    ASSERT_NE(about, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    EXPECT_FALSE(Probe("About....").empty()) << "the about box closed meanwhile";
    x->Key("Return");
    ASSERT_TRUE(x->WaitForGone(about));

    ASSERT_TRUE(TXSession::WaitUntil([&] { return LooksEnabled(x->Grab(main), start); }))
        << "Start was not drawn enabled again";
    const auto ended = WaitForProbed(title, "Start");
    ASSERT_TRUE(ended);
    Keep(x->Grab(main), "wine-main-window.png");
    EXPECT_EQ(ended->At(ToQRect(form.FormRect("ListBox1")))->Items, kSuccessLog);
    EXPECT_EQ(TTempDir::Read(work.Path() / "Bootload.Ini"), "[Options]\r\nComms_Port=1\r\n");

    // The Close button ends the program with status 0.
    x->Click(main, InMainWindow(main, "Button1").center());
    EXPECT_EQ(program->Wait(), 0);

    unit->Signal(SIGTERM);
    ASSERT_EQ(unit->Wait(), 0);
    unit.reset();
    const std::string flash = TTempDir::Read(work.Path() / "flash.bin");
    const auto image = FindResource("HFile");
    ASSERT_EQ(flash.size(), 65536u);
    EXPECT_TRUE(flash.substr(2048) == std::string(image.begin() + 2048, image.end()))
        << "the flash differs from the embedded image";
}

TEST_F(WineDesktopTest, PortDialogAndAboutBoxAnswerTheirKeys) {
    StartUnit();
    WriteSettings(1);
    LinkPortThatDoesNotOpen(3);
    const TXSession::TWindow main = StartProgram();
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(WaitForProbed(title, " Port: COM1"));
    const std::string settings = TTempDir::Read(work.Path() / "Bootload.Ini");

    // Options, Comms Port: the 32 ports, the saved one selected; Enter presses Cancel.
    TXSession::TWindow dialog = KeysOpen("alt+o c", "Comm Port Selection");
    ASSERT_NE(dialog, 0u);
    auto probed = WaitForProbed("Comm Port Selection", "&Cancel");
    ASSERT_TRUE(probed);
    const TFormLayout& ports = CommSelFrmLayout();
    EXPECT_EQ(probed->Client, QSize(ports.ClientWidth, ports.ClientHeight));
    const TProbedControl* list = probed->At(ToQRect(ports.FormRect("ComboBox1")));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Items.size(), static_cast<std::size_t>(kPortCount));
    EXPECT_EQ(list->Items.front(), "COM1");
    EXPECT_EQ(list->Items.back(), "COM32");
    EXPECT_EQ(list->Selected, 0);
    EXPECT_EQ(probed->FocusId, list->Id);
    Keep(x->Grab(dialog), "wine-port-dialog.png");
    x->Key("Return");
    EXPECT_TRUE(x->WaitForGone(dialog));
    EXPECT_EQ(TTempDir::Read(work.Path() / "Bootload.Ini"), settings) << "a cancelled dialog writes nothing";

    // COM3, which does not open: the error box, and the previous port stays.
    dialog = KeysOpen("alt+o c", "Comm Port Selection");
    ASSERT_NE(dialog, 0u);
    x->Key("Down Down Tab Return");  // COM3, then Ok
    const auto error = WaitForProbed("Error", "Unable To Open Comm Port.");
    ASSERT_TRUE(error) << "no error box";
    x->Key("Return");
    const auto after = WaitForProbed(title, "Start");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->At(ToQRect(MainFormLayout().FormRect("StatusBar1")))->Text, " Port: COM1");
    EXPECT_EQ(TTempDir::Read(work.Path() / "Bootload.Ini"), settings);

    // Help, About: the version line from the executable's own version block, OK focused.
    const TXSession::TWindow about = KeysOpen("alt+h a", "About....");
    ASSERT_NE(about, 0u);
    const auto box = WaitForProbed("About....", "OK");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Client, QSize(AboutBoxLayout().ClientWidth, AboutBoxLayout().ClientHeight));
    const TAboutTexts texts = MakeAboutTexts(ReadVersionInfo());  // the same record as this build's
    ASSERT_NE(texts.Version, TAboutTexts::VersionLine("N/A"));
    EXPECT_NE(box->WithText(texts.Version), nullptr) << "no label reads " << texts.Version;
    EXPECT_NE(box->WithText(texts.Description), nullptr);
    EXPECT_EQ(box->FocusId, box->WithText("OK")->Id);
    Keep(x->Grab(about), "wine-about-box.png");
    x->Key("Return");
    EXPECT_TRUE(x->WaitForGone(about));

    // The close box ends the program with status 0.
    x->Key("alt+F4");
    EXPECT_EQ(program->Wait(), 0);
}

TEST_F(WineDesktopTest, SavedPortThatDoesNotOpenShowsTheStartUpMessage) {
    WriteSettings(3);
    LinkPortThatDoesNotOpen(3);
    ASSERT_NE(StartProgram(), 0u);
    // Captioned with the application title, as the main window is.
    const auto box = WaitForProbed(title, "Unable To Open Comms Port. Please Select Another.");
    ASSERT_TRUE(box) << "no start-up message box";
    x->Key("Return");
    const auto main = WaitForProbed(title, "Start");
    ASSERT_TRUE(main);
    EXPECT_EQ(main->At(ToQRect(MainFormLayout().FormRect("StatusBar1")))->Text, "");
    EXPECT_TRUE(main->WithText("Start")->Enabled);
    EXPECT_EQ(TTempDir::Read(work.Path() / "Bootload.Ini"), "[Options]\r\nComms_Port=3\r\n");
}

TEST_F(WineDesktopTest, CloseDuringAnUpgradeIsShownAtOnceAndCarriedOutAfterTheStep) {
    // A unit slow to erase and write: the upgrade takes seconds.
    StartUnit({"--erase-ms", "10", "--write-ms", "10"});
    WriteSettings(1);
    const TXSession::TWindow main = StartProgram();
    ASSERT_NE(main, 0u);
    const QRect start = InMainWindow(main, "Button6");
    const QRect status = InMainWindow(main, "StatusBar1");
    // Where the note shows: right of the two panels.
    const QRect note(status.left() + kStatusPanelWidths[0] + kStatusPanelWidths[1] + 4, status.top() + 3,
                     status.width() - kStatusPanelWidths[0] - kStatusPanelWidths[1] - 8, status.height() - 6);
    ASSERT_TRUE(TXSession::WaitUntil([&] { return LooksEnabled(x->Grab(main), start); }));
    const QImage before = x->Grab(main);
    ASSERT_TRUE(before.rect().contains(note));
    EXPECT_FALSE(HoldsText(before, note));
    x->Click(main, start.center());
    ASSERT_TRUE(TXSession::WaitUntil([&] { return LooksDisabled(x->Grab(main), start); }));

    x->Key("alt+F4");
    QImage pending;
    ASSERT_TRUE(TXSession::WaitUntil([&] { return HoldsText(pending = x->Grab(main), note); }, 3000))
        << "the pending close is not shown";
    Keep(pending, "wine-closing.png");
    // Still running the upgrade's step meanwhile, then gone with status 0.
    EXPECT_TRUE(LooksDisabled(pending, start));
    EXPECT_EQ(program->Wait(), 0);
}

}  // namespace
