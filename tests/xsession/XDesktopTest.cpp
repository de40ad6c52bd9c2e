// The desktop program on Qt's xcb platform in a private X session, driven the way an
// operator drives it. What is checked is what the X server shows: the root window's pixels
// and the captions the window manager reads.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QColor>
#include <QDir>
#include <memory>
#include <string>

#include "package/FirmwareImage.h"
#include "package/TitleTable.h"
#include "platform/posix/PseudoTerminal.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/TestPortsDirectory.h"
#include "tests/xsession/XSession.h"

namespace {

// Client area of the main window below its menu bar, and its controls in it.
constexpr int kClientHeight = 164;
const QRect kListBox(8, 8, 393, 97);
const QRect kStart(167, 112, 75, 25);
// Rows of the list that one line's text and highlight cover at most; a second line starts
// a line's pitch (17 pixels) below the first.
constexpr int kOneLine = 17;

// The title start-up derives from the package this build carries.
std::string PackageTitle() {
    const auto package = std::make_unique<FirmwareImage>();
    package->PackageModel = ReadResourceWord("VX_NUM");
    package->PackageVersion = ReadResourceWord("FW_VER");
    std::string title;
    ApplyTitleTable(*package, title);
    return title;
}

// Saves a picture for a person looking into a failure, when BOOTLOADER_TEST_PICTURES names
// a directory.
void Keep(const QImage& picture, const QString& name) {
    if (const char* dir = ::getenv("BOOTLOADER_TEST_PICTURES"); dir != nullptr && *dir != '\0')
        picture.save(QDir(QString::fromLocal8Bit(dir)).filePath(name), "PNG");
}

class XDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        x = std::make_unique<TXSession>();
    }
    void TearDown() override {
        program.reset();  // before the X server goes
        x.reset();
    }

    void StartProgram(std::vector<std::string> args = {}) {
        program = std::make_unique<TChildProcess>("bootloader", std::move(args), work.Path().string());
    }

    // The control's rectangle in the main window's coordinates (the menu bar is above the
    // client area, whatever height the style gives it).
    QRect InWindow(TXSession::TWindow window, const QRect& control) {
        const int menuHeight = x->Geometry(window).height() - kClientHeight;
        return control.translated(0, menuHeight);
    }

    TTestPortsDirectory ports;
    TTempDir work;
    std::unique_ptr<TXSession> x;
    std::unique_ptr<TChildProcess> program;
};

// Start's label drawn in the enabled text colour: some pixel of its middle is nearly black.
bool StartLooksEnabled(const QImage& picture, const QRect& start) {
    const QRect label =
        start.adjusted(start.width() / 4, start.height() / 4, -start.width() / 4, -start.height() / 4);
    int darkest = 255;
    for (int y = label.top(); y <= label.bottom(); ++y)
        for (int x = label.left(); x <= label.right(); ++x)
            darkest = std::min(darkest, qGray(picture.pixel(x, y)));
    return darkest < 64;
}

// The list's text area drawn and empty: one light colour throughout (an unpainted part of a
// new window reads black).
bool ListLooksEmpty(const QImage& picture, const QRect& list) {
    const QRect inside = list.adjusted(10, 3, -10, -3);
    const QRgb background = picture.pixel(inside.topLeft());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (picture.pixel(x, y) != background) return false;
    return qGray(background) > 192;
}

// The rows of the list's text area that differ from the same rows of before, as the first
// and last such row from the list's top; {-1, -1} when none differs. The frame is left out:
// it changes with the keyboard focus.
std::pair<int, int> ChangedRows(const QImage& before, const QImage& now, const QRect& list) {
    const QRect inside = list.adjusted(10, 3, -10, -3);
    int first = -1, last = -1;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        int changed = 0;
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (before.pixel(x, y) != now.pixel(x, y)) ++changed;
        if (changed > 2) {
            if (first < 0) first = y - list.top();
            last = y - list.top();
        }
    }
    return {first, last};
}

// The right end of the text of the list line whose first row is firstRow (from the list's
// top): the last column, from the list's left, that differs from the line's background.
int TextRight(const QImage& picture, const QRect& list, int firstRow) {
    const QRect inside = list.adjusted(10, 3, -10, -3);
    int right = -1;
    for (int y = list.top() + firstRow; y < list.top() + firstRow + kOneLine - 4; ++y) {
        const QRgb background = picture.pixel(inside.right(), y);
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (picture.pixel(x, y) != background) right = std::max(right, x - list.left());
    }
    return right;
}

}  // namespace

TEST_F(XDesktopTest, WindowShowsTheFirstLogLineAndStartDisabledWhileTheFirstRequestWaits) {
    // A unit that never answers: step 20's identity read waits for its timeouts (seconds),
    // with the log holding its one line and Start disabled all that time.
    TPseudoTerminal silentUnit;
    ports.Link(1, silentUnit.SlavePath());
    StartProgram();
    const TXSession::TWindow main = x->WaitForCaption(PackageTitle());
    ASSERT_NE(main, 0u);
    const QRect list = InWindow(main, kListBox);
    const QRect start = InWindow(main, kStart);

    QImage before;
    ASSERT_TRUE(TXSession::WaitUntil([&] {
        before = x->Grab(main);
        return !before.isNull() && StartLooksEnabled(before, start) && ListLooksEmpty(before, list);
    }));
    Keep(before, "before-start.png");
    x->Click(main, start.center());

    // Polled until the list shows text and either Start is drawn disabled or a second line
    // is there (the picture of a later step).
    QImage now;
    std::pair<int, int> rows{-1, -1};
    bool startEnabled = true;
    ASSERT_TRUE(TXSession::WaitUntil([&] {
        now = x->Grab(main);
        rows = ChangedRows(before, now, list);
        startEnabled = StartLooksEnabled(now, start);
        return rows.first >= 0 && (!startEnabled || rows.second - rows.first >= kOneLine);
    }));
    Keep(now, "after-start.png");
    EXPECT_FALSE(startEnabled);
    EXPECT_LT(rows.second - rows.first, kOneLine) << "rows " << rows.first << ".." << rows.second;

    // That line must still be the bare "Initialising Upgrade.....", drawn while the request
    // waits: step 20 ends by writing its outcome into the line, which a window that only
    // caught up afterwards would show. Compared with the same line once step 0 has begun.
    QImage later;
    ASSERT_TRUE(TXSession::WaitUntil([&] {
        later = x->Grab(main);
        const auto laterRows = ChangedRows(before, later, list);
        return laterRows.first >= 0 && laterRows.second - laterRows.first >= kOneLine;
    }));
    Keep(later, "step-0.png");
    const int waiting = TextRight(now, list, rows.first);
    const int ended = TextRight(later, list, rows.first);
    EXPECT_LT(waiting + 20, ended) << "text ends at " << waiting << ", then at " << ended;
}

TEST_F(XDesktopTest, EveryWindowIsCaptionedExactlyAsItsOwn) {
    // Every port the dialog offers is missing: start-up shows its plain message box, and
    // every port change fails.
    for (unsigned port = 1; port <= 32; ++port) ports.Link(port, work.File("missing"));
    const std::string image = work.Write("image.bin", std::string(65536, '\xff'));
    StartProgram({"--enable-load-file"});
    const std::string title = PackageTitle();
    const TXSession::TWindow main = x->WaitForCaption(title);
    ASSERT_NE(main, 0u);

    // Each window the command opens: its caption as the window manager reads it; the keys
    // then close it (Return presses its default button).
    auto next = [&](const std::string& keys) {
        const auto known = x->ClientWindows();
        x->Key(keys);
        const TXSession::TWindow window = x->WaitForNewWindow(known);
        return window == 0 ? std::string("(no window)") : x->Caption(window);
    };
    auto closeWith = [&](const std::string& keys) {
        const auto before = x->ClientWindows();
        x->Key(keys);
        return TXSession::WaitUntil([&] { return x->ClientWindows().size() < before.size(); });
    };

    // The plain box of start-up came with the main window.
    ASSERT_TRUE(TXSession::WaitUntil([&] { return x->ClientWindows().size() == 2; }));
    EXPECT_EQ(x->Caption(x->ClientWindows().back()), title);
    EXPECT_EQ(x->Caption(main), title);
    ASSERT_TRUE(closeWith("Return"));

    EXPECT_EQ(next("alt+o c"), "Comm Port Selection");
    EXPECT_EQ(next("alt+o"), "Error");  // Ok: the port does not open
    ASSERT_TRUE(closeWith("Return"));

    EXPECT_EQ(next("alt+h a"), "About....");
    ASSERT_TRUE(closeWith("Return"));

    EXPECT_EQ(next("alt+f Return"), "Open");  // Load File, the first entry
    x->Type(image);
    EXPECT_EQ(next("Return"), "Enter Processor No.");
    x->Type("2620");
    EXPECT_EQ(next("Return"), "Enter VX No.");
    x->Type("abc");
    EXPECT_EQ(next("Return"), title);  // the default error box
    ASSERT_TRUE(closeWith("Return"));
}
