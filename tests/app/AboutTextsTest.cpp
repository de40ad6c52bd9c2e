#include <gtest/gtest.h>

#include "app/AboutTexts.h"

namespace {

TVersionInfo Record() {
    TVersionInfo info;
    info.Present = true;
    info.FileDescription = "Updater";
    info.FileVersion = "2.4.1.17";
    info.LegalCopyright = "Copyright (C) 2024";
    info.FileFlags = 0;
    info.FileFlagsMask = 0x3F;
    return info;
}

TEST(AboutTexts, VersionLineSplitsAtTheLastFullStop) {
    struct Case {
        const char* fileVersion;
        const char* line;
    } const cases[] = {
        {"2.4.1.17", "Version 2.4.1  Build 17"},
        {"2", "Version   Build 2"},
        {"N/A", "Version   Build N/A"},
        {"3.0", "Version 3  Build 0"},
        {"1.2.", "Version 1.2  Build "},
        {".5", "Version   Build 5"},
        {"", "Version   Build "},
    };
    for (const auto& c : cases) EXPECT_EQ(TAboutTexts::VersionLine(c.fileVersion), c.line) << c.fileVersion;
}

TEST(AboutTexts, PrereleaseNeedsTheBitInFlagsAndMask) {
    struct Case {
        std::uint32_t flags;
        std::uint32_t mask;
        bool stamp;
    } const cases[] = {
        {0x2, 0x3F, true}, {0x2, 0x3D, false}, {0x0, 0x3F, false}, {0x3F, 0x2, true}, {0x1, 0x3F, false},
    };
    for (const auto& c : cases) {
        TVersionInfo info = Record();
        info.FileFlags = c.flags;
        info.FileFlagsMask = c.mask;
        EXPECT_EQ(MakeAboutTexts(info).Prerelease, c.stamp) << std::hex << c.flags << '/' << c.mask;
    }
}

TEST(AboutTexts, MissingStringsReadNotAvailable) {
    TVersionInfo info = Record();
    info.LegalCopyright.reset();
    TAboutTexts texts = MakeAboutTexts(info);
    EXPECT_EQ(texts.Description, "Updater");
    EXPECT_EQ(texts.Version, "Version 2.4.1  Build 17");
    EXPECT_EQ(texts.Copyright, "N/A");

    info.FileVersion.reset();
    info.FileDescription.reset();
    texts = MakeAboutTexts(info);
    EXPECT_EQ(texts.Description, "N/A");
    EXPECT_EQ(texts.Version, "Version   Build N/A");

    // A present but empty string is shown empty, not as missing.
    info.LegalCopyright = "";
    EXPECT_EQ(MakeAboutTexts(info).Copyright, "");
}

TEST(AboutTexts, NoRecordShowsNotAvailableAndNoStamp) {
    TVersionInfo info = Record();
    info.Present = false;
    info.FileFlags = 0x2;
    const TAboutTexts texts = MakeAboutTexts(info);
    EXPECT_EQ(texts.Description, "N/A");
    EXPECT_EQ(texts.Version, "Version   Build N/A");
    EXPECT_EQ(texts.Copyright, "N/A");
    EXPECT_FALSE(texts.Prerelease);
}

TEST(AboutTexts, TheBuildRecordCarriesTheProjectVersion) {
    const TVersionInfo info = ReadVersionInfo();
    ASSERT_TRUE(info.Present);
    ASSERT_TRUE(info.FileVersion.has_value());
    EXPECT_EQ(*info.FileVersion, BOOTLOADER_TEST_PROJECT_VERSION);
    EXPECT_EQ(MakeAboutTexts(info).Prerelease, BOOTLOADER_TEST_PRERELEASE != 0);
    EXPECT_EQ(info.FileDescription, std::optional<std::string>(BOOTLOADER_TEST_FILE_DESCRIPTION));
    EXPECT_EQ(info.LegalCopyright, std::optional<std::string>(BOOTLOADER_TEST_COPYRIGHT));
}

}  // namespace
