#include <gtest/gtest.h>

#include <QApplication>

#include "tests/ui/UiTestSupport.h"
#include "ui/qt/AboutBox.h"

namespace {

TVersionInfo Record(std::uint32_t flags, std::uint32_t mask) {
    TVersionInfo info;
    info.Present = true;
    info.FileDescription = "Firmware updater for serial-attached controller units";
    info.FileVersion = "2.4.1.17";
    info.LegalCopyright = "Copyright (C) The Bootloader developers";
    info.FileFlags = flags;
    info.FileFlagsMask = mask;
    return info;
}

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
};

TEST_F(AboutBoxTest, ShowsTheRecordAndTheStampOnlyForPrereleases) {
    TAboutBox release(nullptr, Record(0x0, 0x3D));
    EXPECT_EQ(release.Label1->text(),
              QStringLiteral("Firmware updater for serial-attached controller units"));
    EXPECT_EQ(release.Label2->text(), QStringLiteral("Version 2.4.1  Build 17"));
    EXPECT_EQ(release.Label3->text(), QStringLiteral("Copyright (C) The Bootloader developers"));
    EXPECT_FALSE(release.Image2->isVisibleTo(&release));

    TAboutBox beta(nullptr, Record(0x2, 0x3F));
    EXPECT_TRUE(beta.Image2->isVisibleTo(&beta));
}

TEST_F(AboutBoxTest, TextsFitTheBoxTheDescriptionWrapsAndOkHasTheFocus) {
    TAboutBox box(nullptr, Record(0x2, 0x3F));
    box.show();
    QApplication::processEvents();
    const QRect client = box.rect();
    for (QLabel* label : {box.Label1, box.Label2, box.Label3}) {
        EXPECT_TRUE(client.contains(label->geometry())) << label->objectName().toStdString();
        EXPECT_GE(label->height(), label->heightForWidth(label->width()) > 0
                                       ? label->heightForWidth(label->width())
                                       : label->sizeHint().height())
            << label->objectName().toStdString();
    }
    // The description needs two lines at the design width.
    EXPECT_GT(box.Label1->heightForWidth(222), box.Label2->sizeHint().height());
    EXPECT_EQ(box.Label1->width(), 222);
    EXPECT_EQ(box.focusWidget(), box.OKButton);
}

}  // namespace
