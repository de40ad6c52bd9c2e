#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "package/FormatVersion.h"
#include "package/TitleTable.h"

TEST(PackageInfoTest, PrintsTheEmbeddedPackage) {
    std::string output;
    FILE* pipe = ::popen(BOOTLOADER_TEST_PACKAGE_INFO, "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ASSERT_EQ(::pclose(pipe), 0) << output;

    const TTitleRow* row = FindTitleRow(BOOTLOADER_TEST_MODEL);
    const std::string version = FormatVersion(BOOTLOADER_TEST_VERSION);
    const std::string expectedLines[] = {
        "Processor:       " + std::to_string(BOOTLOADER_TEST_PROCESSOR) + "\n",
        "Model:           " + std::to_string(BOOTLOADER_TEST_MODEL) + "\n",
        "Expected model:  " + std::to_string(row ? row->ExpectedModel : BOOTLOADER_TEST_MODEL) + "\n",
        "Title:           " + (row ? row->Title + version : std::string("(none)")) + "\n",
        "Version:         " + version + "\n",
        "65536 bytes, 512 of 512 blocks present\n",
    };
    for (const std::string& line : expectedLines)
        EXPECT_NE(output.find(line), std::string::npos) << line << output;
}
