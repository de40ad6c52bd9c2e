#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTimer>
#include <cstdio>

#include "link/posix/PosixPortFactory.h"
#include "package/TitleTable.h"
#include "tests/ui/MainFormFixture.h"
#include "ui/qt/ScreenshotRun.h"

namespace {

class MainFormUpgrade : public MainFormFixture {
protected:
    // The model the embedded package expects the unit's boot loader to report.
    static std::uint16_t ExpectedModel() {
        FirmwareImage package;
        package.PackageModel = ReadResourceWord("VX_NUM");
        package.PackageVersion = ReadResourceWord("FW_VER");
        std::string title;
        ApplyTitleTable(package, title);
        return package.ExpectedModel;
    }

    // A simulated unit of the package's model on COM1, and the window started on it.
    TMainForm& StartWithUnit(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--model", std::to_string(ExpectedModel())});
        UnitOnPort(1, options);
        return CreateForm();
    }

    // Runs fn once, from inside the first upgrade step found waiting in a request.
    void DuringAWaitingStep(TMainForm& form, std::function<void()> fn) {
        auto* poll = new QTimer(&form);
        poll->setInterval(0);
        QObject::connect(poll, &QTimer::timeout, [poll, &form, fn] {
            const UpgradeSequencer* sequencer = form.Core().Sequencer();
            if (!sequencer || !sequencer->InStep()) return;
            poll->stop();
            fn();
        });
        poll->start();
    }

    // Ends a run of the application's event loop with status 2 should it never end by itself.
    static std::unique_ptr<QTimer> HangGuard() {
        auto guard = std::make_unique<QTimer>();
        guard->setSingleShot(true);
        QObject::connect(guard.get(), &QTimer::timeout, [] { QCoreApplication::exit(2); });
        guard->start(120000);
        return guard;
    }

    // True when the port can be opened again, that is when the program let go of it.
    bool PortIsFree(int port) const {
        TPosixPortFactory ports(work_.Path().string() + "/");
        TPortOpenFailure why;
        return ports.Claim("COM" + std::to_string(port), why) != nullptr;
    }
};

TEST_F(MainFormUpgrade, StartRunsAWholeUpgradeAgainstTheSimulatedUnit) {
    const std::string dump = work_.File("flash.bin");
    TMainForm& form = StartWithUnit({"--flash-dump", dump});
    ASSERT_TRUE(form.Core().Link()->IsOpen());
    QSignalSpy finished(&form, &TMainForm::UpgradeFinished);

    form.Button6->click();
    EXPECT_FALSE(form.Button6->isEnabled());
    EXPECT_FALSE(form.Button1->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return finished.count() > 0; }, 120000));

    EXPECT_TRUE(finished.front().front().toBool());
    char bootInfo[64];
    std::snprintf(bootInfo, sizeof bootInfo, "Retrieving Bootloader Info......VX%u v1.05", ExpectedModel());
    const QStringList expected{
        "Initialising Upgrade.....Done (1)",
        "Enabling BootLoader.....Done",
        bootInfo,
        "Retrieving Model Number......OK",
        "Erasing Program Memory......100%",
        "Sending New Program Data......100%",
        "Disabling Boot Mode......Done",
        "Restarting Unit......Done",
        "Finalising Upgrade.....Done",
    };
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(form.ListBox1->currentRow(), 8);
    EXPECT_TRUE(form.Button6->isEnabled());
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_TRUE(script_.Unexpected().empty());

    // The unit's application area now holds the image.
    const std::string flash = TTempDir::Read(dump);
    const FirmwareImage& package = form.Core().Package;
    ASSERT_EQ(flash.size(), FirmwareImage::kImageSize);
    ASSERT_GT(package.ProgramEnd, 2048u);
    for (std::uint32_t address = 2048; address <= package.ProgramEnd; ++address) {
        ASSERT_EQ(static_cast<std::uint8_t>(flash[address]), package.ImageBuffer[address])
            << "address " << address;
    }
}

TEST_F(MainFormUpgrade, AnErrorRaisedInAStepIsShownInTheDefaultErrorBoxAndEndsTheUpgrade) {
    PresentPort(1);
    TMainForm& form = CreateForm();
    ASSERT_TRUE(form.Core().Link()->IsOpen());
    // The first step reopens the port, which is now a regular file: the link's Open raises.
    std::filesystem::remove(ports_ / "COM1");
    std::filesystem::create_symlink(work_.Write("not-a-terminal", ""), ports_ / "COM1");
    QSignalSpy finished(&form, &TMainForm::UpgradeFinished);
    TSeenBox seen;
    bool buttonsDisabledDuringBox = false;
    script_.Then([&](QWidget* modal) {
        seen = Inspect(modal);
        buttonsDisabledDuringBox = !form.Button6->isEnabled() && !form.Button1->isEnabled();
        PressButton(modal);
    });

    form.Button6->click();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() > 0; }));

    EXPECT_EQ(script_.Pending(), 0u);
    EXPECT_EQ(seen.Caption, form.windowTitle());
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Text, QStringLiteral("File Handle is not a Comm Handle."));
    EXPECT_EQ(seen.Buttons, QStringList{QStringLiteral("OK")});
    EXPECT_TRUE(buttonsDisabledDuringBox);
    EXPECT_FALSE(finished.front().front().toBool());
    EXPECT_EQ(LogLines(), QStringList{QStringLiteral("Initialising Upgrade.....")});
    EXPECT_TRUE(form.Button6->isEnabled());
    EXPECT_TRUE(form.Button1->isEnabled());
}

TEST_F(MainFormUpgrade, ClosingDuringAStepWaitsForItAndThenCloses) {
    struct Case {
        const char* name;
        bool closeButtonOrBox;  // the close box; otherwise File, Exit
    } const cases[] = {{"close box", true}, {"Exit", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMainForm& form = StartWithUnit({"--replace-link"});
        QSignalSpy finished(&form, &TMainForm::UpgradeFinished);
        bool refused = false;
        bool linkKept = false;
        bool pendingShown = false;
        DuringAWaitingStep(form, [&] {
            const QString port = form.StatusPanelText(0);
            if (c.closeButtonOrBox)
                refused = !form.close();
            else
                form.Exit1Click();
            linkKept = form.Core().Link() != nullptr && form.isVisible();
            // At once, and without touching the status panels' own texts.
            pendingShown = form.ClosingNote->isVisibleTo(&form) && !form.Exit1->isEnabled() &&
                           form.StatusPanelText(0) == port && form.StatusPanelText(1).isEmpty();
        });
        int status = -1;
        if (c.closeButtonOrBox) {
            form.Button6->click();
            ASSERT_TRUE(WaitUntil([&] { return !form.isVisible(); }, 120000));
            EXPECT_TRUE(refused);
        } else {
            // Exit asks the application to quit: run the real event loop until it does.
            QTimer::singleShot(0, form.Button6, &QPushButton::click);
            const auto guard = HangGuard();
            status = QApplication::exec();
            EXPECT_EQ(status, 0);
        }
        EXPECT_TRUE(linkKept);
        EXPECT_TRUE(pendingShown);
        // The step that was running finished its log line; no later step ran.
        ASSERT_EQ(finished.count(), 1);
        EXPECT_FALSE(finished.front().front().toBool());
        ASSERT_EQ(form.ListBox1->count(), 1);
        EXPECT_TRUE(
            form.ListBox1->item(0)->text().startsWith(QStringLiteral("Initialising Upgrade.....Done")));
        EXPECT_EQ(form.Core().Link(), nullptr);
        EXPECT_TRUE(script_.Unexpected().empty());
        form_.reset();
    }
}

TEST_F(MainFormUpgrade, ClosingWhileIdleReleasesThePort) {
    struct Case {
        const char* name;
        std::function<void(TMainForm&)> close;
        bool quits;
    } const cases[] = {
        {"Close button", [](TMainForm& f) { f.Button1->click(); }, false},
        {"close box", [](TMainForm& f) { f.close(); }, false},
        {"Exit", [](TMainForm& f) { f.Exit1Click(); }, true},
    };
    PresentPort(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMainForm& form = CreateForm();
        ASSERT_TRUE(form.Core().Link()->IsOpen());
        EXPECT_FALSE(PortIsFree(1));
        if (c.quits) {
            QTimer::singleShot(0, &form, [&] { c.close(form); });
            const auto guard = HangGuard();
            EXPECT_EQ(QApplication::exec(), 0);
        } else {
            c.close(form);
            EXPECT_FALSE(form.isVisible());
        }
        EXPECT_EQ(form.Core().Link(), nullptr);
        EXPECT_TRUE(PortIsFree(1));
        form_.reset();
    }
}

TEST_F(MainFormUpgrade, ScreenshotRunCreatesTheFolderItWasGiven) {
    TMainForm& form = StartWithUnit();
    const QString folder = QString::fromStdString(work_.File("pictures/new"));
    TScreenshotRun run(form, *form.findChild<TAboutBox*>(), *form.findChild<TCommSelFrm*>(), folder);
    run.Begin();
    const auto guard = HangGuard();
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(QFileInfo::exists(folder + "/main-window.png"));
}

}  // namespace
