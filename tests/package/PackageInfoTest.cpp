#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "package/FormatVersion.h"
#include "package/TitleTable.h"

namespace {

std::string RunPackageInfo(int& status) {
    const std::string command = BOOTLOADER_TEST_PACKAGE_INFO;
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        status = ::pclose(pipe);
    } else {
        status = -1;
    }
    return output;
}

}  // namespace

TEST(PackageInfoTest, PrintsTheEmbeddedPackage) {
    int status = 0;
    const std::string output = RunPackageInfo(status);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Processor:       " + std::to_string(BOOTLOADER_TEST_PROCESSOR) + "\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("Model:           " + std::to_string(BOOTLOADER_TEST_MODEL) + "\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("Version:         " + FormatVersion(BOOTLOADER_TEST_VERSION) + "\n"), std::string::npos)
        << output;
    if (const TTitleRow* row = FindTitleRow(BOOTLOADER_TEST_MODEL)) {
        EXPECT_NE(output.find(std::string(row->Title) + FormatVersion(BOOTLOADER_TEST_VERSION)), std::string::npos)
            << output;
        EXPECT_NE(output.find("Expected model:  " + std::to_string(row->ExpectedModel) + "\n"), std::string::npos)
            << output;
    }
    EXPECT_NE(output.find("512 of 512 blocks present"), std::string::npos) << output;
}
