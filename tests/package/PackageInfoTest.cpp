#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "package/FormatVersion.h"
#include "package/TitleTable.h"
#include "package/tools/DemoImage.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

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

namespace {

// The text after label on a line of output, up to the line's end.
std::string AfterLabel(const std::string& output, const std::string& label) {
    const std::size_t at = output.find("\n" + label);
    if (at == std::string::npos) return "(no line " + label + ")";
    const std::size_t start = at + 1 + label.size();
    return output.substr(start, output.find('\n', start) - start);
}

}  // namespace

// Which image a build carries, as both programs show it: the SHA-256 that sha256sum computes
// for the image file the build embedded (the demo image when it embedded none).
TEST(PackageInfoTest, ShownDigestIsThatOfTheEmbeddedImageFile) {
    TTempDir work;
    std::string source = BOOTLOADER_TEST_EMBEDDED_IMAGE;
    if (source.empty()) {
        const std::vector<std::uint8_t> demo = MakeDemoImage();
        source = work.File("demo.bin");
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(demo.data()), static_cast<std::streamsize>(demo.size()));
    }
    TChildProcess sum("/usr/bin/sha256sum", {source});
    ASSERT_EQ(sum.Wait(), 0) << sum.Stderr;
    const std::string digest = sum.Stdout.substr(0, 64);

    TChildProcess info(BOOTLOADER_TEST_PACKAGE_INFO, {});
    ASSERT_EQ(info.Wait(), 0) << info.Stderr;
    EXPECT_EQ(AfterLabel("\n" + info.Stdout, "Image SHA-256:   "), digest) << info.Stdout;
    TChildProcess version("bootloader-cli", {"--version"});
    ASSERT_EQ(version.Wait(), 0) << version.Stderr;
    EXPECT_EQ(AfterLabel("\n" + version.Stdout, "Image SHA-256: "), digest) << version.Stdout;
}
