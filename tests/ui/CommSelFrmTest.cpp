#include <gtest/gtest.h>

#include <QTest>

#include "tests/ui/UiTestSupport.h"
#include "ui/qt/CommSelFrm.h"

namespace {

class CommSelFrmTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

    // Shows the dialog modally and lets answer act on it once it is up.
    int RunWith(const std::function<void(TCommSelFrm&)>& answer) {
        TModalScript script;
        script.Then([&](QWidget*) { answer(dialog); });
        const int result = dialog.exec();
        EXPECT_EQ(script.Pending(), 0u);
        EXPECT_TRUE(script.Unexpected().empty());
        return result;
    }

    TCommSelFrm dialog;
};

TEST_F(CommSelFrmTest, OffersCom1ToCom32InOrderWithCancelAsDefault) {
    ASSERT_EQ(dialog.ComboBox1->count(), 32);
    for (int p = 0; p < 32; ++p) EXPECT_EQ(dialog.ComboBox1->itemText(p), QStringLiteral("COM%1").arg(p + 1));
    EXPECT_FALSE(dialog.ComboBox1->isEditable());
    EXPECT_TRUE(dialog.Button2->isDefault());
    EXPECT_FALSE(dialog.Button1->isDefault());
}

TEST_F(CommSelFrmTest, EscapeDoesNotCloseTheDialog) {
    bool stillOpen = false;
    const int result = RunWith([&](TCommSelFrm& d) {
        QTest::keyClick(d.ComboBox1, Qt::Key_Escape);
        QTest::keyClick(&d, Qt::Key_Escape);
        stillOpen = d.isVisible();
        d.Button1->click();
    });
    EXPECT_TRUE(stillOpen);
    // Ok was the first button that closed it.
    EXPECT_EQ(result, QDialog::Accepted);
}

}  // namespace
