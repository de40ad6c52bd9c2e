#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/ui/UiTestSupport.h"
#include "ui/qt/MessageBoxes.h"

namespace {

class MessageBoxesTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        SetApplicationTitle(QStringLiteral("Unit Updater VX"));
    }
    void TearDown() override { SetApplicationTitle(QString()); }
};

TEST(DefaultErrorText, FullStopOnlyAfterCharactersAboveTheFullStop) {
    struct Case {
        const char* message;
        const char* shown;
    } const cases[] = {
        {"'abc' is not a valid integer value", "'abc' is not a valid integer value."},
        {"Unable to write to x.ini", "Unable to write to x.ini."},
        {"Already ends.", "Already ends."},
        {"Ends in a comma,", "Ends in a comma,"},   // ',' < '.'
        {"Ends in a dash-", "Ends in a dash-"},     // '-' < '.'
        {"Ends in a slash/", "Ends in a slash/."},  // '/' > '.'
        {"Count 0", "Count 0."},
        {"Trailing blank ", "Trailing blank "},
        {"Exclaims!", "Exclaims!"},
        {"Non-ASCII \xc3\xa9", "Non-ASCII \xc3\xa9."},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DefaultErrorText(c.message), c.shown) << '"' << c.message << '"';
}

TEST_F(MessageBoxesTest, GuardedHandlerStopsAtTheErrorAndShowsTheDefaultBox) {
    TModalScript script;
    TSeenBox seen;
    script.ThenPressOk(&seen);
    bool restRan = false;
    RunGuarded([&] {
        throw std::runtime_error("Cannot open file image.bin");
        restRan = true;
    });
    EXPECT_FALSE(restRan);
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(seen.Caption, QStringLiteral("Unit Updater VX"));
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Text, QStringLiteral("Cannot open file image.bin."));
    EXPECT_EQ(seen.Buttons, QStringList{QStringLiteral("OK")});
}

TEST_F(MessageBoxesTest, ErrorBoxCaptionAndIconFollowTheDialogType) {
    struct Case {
        TMsgDlgType type;
        QString caption;
        QMessageBox::Icon icon;
    } const cases[] = {
        {TMsgDlgType::Warning, QStringLiteral("Warning"), QMessageBox::Warning},
        {TMsgDlgType::Error, QStringLiteral("Error"), QMessageBox::Critical},
        {TMsgDlgType::Information, QStringLiteral("Information"), QMessageBox::Information},
        {TMsgDlgType::Confirmation, QStringLiteral("Confirm"), QMessageBox::Question},
        {TMsgDlgType::Custom, QStringLiteral("Unit Updater VX"), QMessageBox::NoIcon},
    };
    for (const auto& c : cases) {
        TModalScript script;
        TSeenBox seen;
        script.ThenPressOk(&seen);
        const auto pressed = ErrorBox("Unable To Open Comm Port.", c.type, QMessageBox::Ok, 0);
        EXPECT_EQ(pressed, QMessageBox::Ok);
        EXPECT_EQ(seen.Caption, c.caption);
        EXPECT_EQ(seen.Icon, c.icon);
        // ErrorBox shows its message as given.
        EXPECT_EQ(seen.Text, QStringLiteral("Unable To Open Comm Port."));
    }
}

}  // namespace
