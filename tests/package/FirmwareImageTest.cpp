#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "package/FileError.h"
#include "package/FirmwareImage.h"
#include "package/Resources.h"
#include "support/SameBytes.h"
#include "support/TempDir.h"

namespace {

// A package whose image is a known non-zero pattern and whose block map is all absent, so a
// load shows exactly what it changed.
std::unique_ptr<FirmwareImage> PatternedImage() {
    auto image = std::make_unique<FirmwareImage>();
    for (std::size_t i = 0; i < FirmwareImage::kImageSize; ++i)
        image->ImageBuffer[i] = static_cast<std::uint8_t>(0xA5 ^ (i * 7));
    image->BlockPresent.fill(false);
    return image;
}

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
    return bytes;
}

bool AllPresent(const FirmwareImage& image) {
    return std::all_of(image.BlockPresent.begin(), image.BlockPresent.end(), [](bool p) { return p; });
}

bool NonePresent(const FirmwareImage& image) {
    return std::none_of(image.BlockPresent.begin(), image.BlockPresent.end(), [](bool p) { return p; });
}

}  // namespace

TEST(FirmwareImageTest, ProcessorTableSetsProgramEndAndUnknownNumbersKeepIt) {
    const struct {
        std::uint16_t Processor;
        std::uint32_t ProgramEnd;  // from a previous value of 0x1234
    } rows[] = {{2525, 0xBFFF}, {2620, 0xFFFF}, {4680, 0xFFFF}, {6622, 0xFFFF}, {4321, 0x1FFF},
                {0, 0x1234},    {1234, 0x1234}, {2524, 0x1234}, {4322, 0x1234}, {65535, 0x1234}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Processor);
        FirmwareImage image;
        image.ProgramEnd = 0x1234;
        image.SetProgramEnd(row.Processor);
        EXPECT_EQ(image.ProgramEnd, row.ProgramEnd);
    }
}

TEST(FirmwareImageTest, FileLoadsAtMostTheImageSizeFromAddressZeroAndKeepsTheRest) {
    TTempDir dir;
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{1000}, std::size_t{65535},
                               std::size_t{65536}, std::size_t{65537}, std::size_t{200000}}) {
        SCOPED_TRACE(length);
        const auto content = Bytes(length, 0x10);
        auto image = PatternedImage();
        const auto before = image->ImageBuffer;

        image->LoadImageFromFile(dir.Write("image.bin", std::string(content.begin(), content.end())));

        const std::size_t loaded = std::min(length, FirmwareImage::kImageSize);
        EXPECT_TRUE(SameBytes(std::span(content).first(loaded), std::span(image->ImageBuffer).first(loaded)));
        EXPECT_TRUE(SameBytes(std::span(before).subspan(loaded),
                              std::span(image->ImageBuffer).subspan(loaded), loaded));
        EXPECT_TRUE(AllPresent(*image));
    }
}

TEST(FirmwareImageTest, UnreadableFileFailsAndChangesNothing) {
    TTempDir dir;
    const std::string plain = dir.Write("plain", "x");
    const std::string paths[] = {
        dir.File("missing.bin"),
        dir.Path().string(),  // a directory opens but does not read
        plain + "/below-a-file.bin",
        "",
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        auto image = PatternedImage();
        image->ProgramEnd = 0xBFFF;
        const auto before = image->ImageBuffer;
        try {
            image->LoadImageFromFile(path);
            ADD_FAILURE() << "loaded";
        } catch (const EFileError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
        }
        EXPECT_EQ(image->ImageBuffer, before);
        EXPECT_TRUE(NonePresent(*image));
        EXPECT_EQ(image->ProgramEnd, 0xBFFFu);
    }
}

TEST(FirmwareImageTest, ResourceImageReplacesTheWholeBufferAndMarksAllBlocks) {
    auto image = PatternedImage();
    image->LoadImageFromResource();
    const auto resource = FindResource("HFile");
    EXPECT_TRUE(SameBytes(resource, image->ImageBuffer));
    EXPECT_TRUE(AllPresent(*image));
}

TEST(FirmwareImageTest, ResourceWordsAreTheConfiguredPackageNumbers) {
    EXPECT_EQ(ReadResourceWord("PROC_NUM"), BOOTLOADER_TEST_PROCESSOR);
    EXPECT_EQ(ReadResourceWord("VX_NUM"), BOOTLOADER_TEST_MODEL);
    EXPECT_EQ(ReadResourceWord("FW_VER"), BOOTLOADER_TEST_VERSION);
    // Little-endian: the first byte is the low one.
    const auto bytes = FindResource("FW_VER");
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), BOOTLOADER_TEST_VERSION);
}
