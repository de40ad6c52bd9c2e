#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>

#include "tests/ui/MainFormFixture.h"

namespace {

using MainFormStartup = MainFormFixture;

TEST_F(MainFormStartup, WithoutSettingsOrPortTheFileIsCreatedAndTheMessageShownOverTheWindow) {
    TSeenBox seen;
    script_.ThenPressOk(&seen);
    TMainForm& form = CreateForm();

    EXPECT_EQ(script_.Pending(), 0u);
    EXPECT_EQ(seen.Text, QStringLiteral("Unable To Open Comms Port. Please Select Another."));
    EXPECT_EQ(seen.Icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.Buttons, QStringList{QStringLiteral("OK")});
    EXPECT_TRUE(seen.MainWindowVisible);
    // The box is captioned with the application title, which is also the window's caption.
    EXPECT_EQ(seen.Caption, form.windowTitle());
    EXPECT_EQ(form.windowTitle().toStdString(), form.Core().ApplicationTitle);
    EXPECT_EQ(ApplicationTitle(), form.windowTitle());

    EXPECT_EQ(Settings(), "[Options]\r\nComms_Port=1\r\n");
    EXPECT_EQ(form.StatusPanelText(0), QString());
    EXPECT_EQ(form.StatusPanelText(1), QString());
    EXPECT_TRUE(form.Button6->isEnabled());
    EXPECT_TRUE(form.Button1->isEnabled());
    ASSERT_NE(form.Core().Link(), nullptr);
    EXPECT_FALSE(form.Core().Link()->IsOpen());
}

TEST_F(MainFormStartup, SavedPortThatIsPresentIsOpenedNamedAndWrittenBack) {
    PresentPort(3);
    WriteSettings("; written by hand\r\n[options]\r\nComms_Port=$3\r\n");
    TMainForm& form = CreateForm();

    EXPECT_EQ(form.StatusPanelText(0), QStringLiteral(" Port: COM3"));
    ASSERT_NE(form.Core().Link(), nullptr);
    EXPECT_TRUE(form.Core().Link()->IsOpen());
    EXPECT_EQ(form.Core().Link()->CommPort, TComport::COM3);
    EXPECT_EQ(Settings(), "; written by hand\r\n[options]\r\nComms_Port=3\r\n");
}

TEST_F(MainFormStartup, TheWindowHasTheDesignedControlsAndGeometry) {
    PresentPort(1);
    TMainForm& form = CreateForm();
    QApplication::processEvents();

    // Fixed size, no maximise button; the client area below the menu is 409 x 164.
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QWidget* client = form.centralWidget();
    EXPECT_EQ(client->width(), 409);
    EXPECT_EQ(form.height() - form.MainMenu1->height(), 164);
    EXPECT_EQ(client->geometry().top(), form.MainMenu1->height());
    EXPECT_EQ(form.StatusBar1->geometry(), QRect(0, form.MainMenu1->height() + 145, 409, 19));

    struct Placed {
        QWidget* control;
        QRect rect;
    } const placed[] = {
        {form.Bevel1, {0, 0, 409, 9}},
        {form.ListBox1, {8, 8, 393, 97}},
        {form.Button6, {167, 112, 75, 25}},
        {form.Button1, {328, 112, 75, 25}},
    };
    for (const auto& p : placed) {
        EXPECT_EQ(p.control->parentWidget(), client) << p.control->objectName().toStdString();
        EXPECT_EQ(p.control->geometry(), p.rect) << p.control->objectName().toStdString();
    }
    EXPECT_EQ(form.StatusPanels[0]->width(), 150);
    EXPECT_EQ(form.StatusPanels[1]->width(), 50);
    EXPECT_FALSE(form.StatusBar1->isSizeGripEnabled());

    // Menu entries and their states after start-up.
    EXPECT_FALSE(form.LoadFile1->isVisible());
    EXPECT_FALSE(form.CloseConnection1->isEnabled());
    EXPECT_TRUE(form.N1->isSeparator());
    EXPECT_TRUE(form.Exit1->isEnabled());
    EXPECT_TRUE(form.CommsPort1->isEnabled());
    EXPECT_TRUE(form.About1->isEnabled());
    const QList<QAction*> fileEntries = form.File1->actions();
    EXPECT_EQ(fileEntries, (QList<QAction*>{form.LoadFile1, form.CloseConnection1, form.N1, form.Exit1}));

    // Centred on the screen.
    const QRect screen = form.screen()->availableGeometry();
    EXPECT_EQ(form.frameGeometry().center(), screen.center());
}

TEST_F(MainFormStartup, TheSwitchKeepsLoadFileReachable) {
    PresentPort(1);
    TMainForm& form = CreateForm(TMainForm::TOptions{true});
    EXPECT_TRUE(form.LoadFile1->isVisible());
}

TEST_F(MainFormStartup, SettingsFileThatCannotBeWrittenIsReportedAndStartUpIsOtherwiseDone) {
    // A directory in the settings file's place reads as no value and cannot be replaced.
    std::filesystem::create_directory(SettingsPath());
    PresentPort(1);
    TSeenBox seen;
    script_.ThenPressOk(&seen);
    TMainForm& form = CreateForm();

    EXPECT_EQ(script_.Pending(), 0u);
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Caption, form.windowTitle());
    EXPECT_EQ(seen.Text.toStdString(), "Unable to write to " + SettingsPath() + ".");
    EXPECT_TRUE(seen.MainWindowVisible);
    ASSERT_NE(form.Core().Link(), nullptr);
    EXPECT_TRUE(form.Core().Link()->IsOpen());
    EXPECT_EQ(form.StatusPanelText(0), QStringLiteral(" Port: COM1"));
    EXPECT_TRUE(form.Button6->isEnabled());
}

}  // namespace
