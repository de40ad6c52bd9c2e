#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "package/FirmwareImage.h"
#include "package/ResourceError.h"
#include "package/Resources.h"
#include "package/tools/DemoImage.h"
#include "support/SameBytes.h"
#include "support/TempDir.h"

namespace {

constexpr std::size_t kBlockSize = FirmwareImage::kBlockSize;
constexpr std::uint8_t kDle = 0x10;

std::vector<std::uint8_t> Block(const std::vector<std::uint8_t>& image, std::size_t j) {
    return {image.begin() + j * kBlockSize, image.begin() + (j + 1) * kBlockSize};
}

}  // namespace

TEST(ResourcesTest, TheBuildCarriesTheFourPackageResources) {
    const struct {
        const char* Name;
        std::size_t Size;
    } expected[] = {{"HFile", 65536}, {"PROC_NUM", 2}, {"VX_NUM", 2}, {"FW_VER", 2}};
    for (const auto& r : expected) {
        SCOPED_TRACE(r.Name);
        EXPECT_EQ(FindResource(r.Name).size(), r.Size);
    }
    EXPECT_EQ(PackageResources().size(), std::size(expected));
}

TEST(ResourcesTest, UnknownNamesAreNotFound) {
    for (const char* name : {"NO_SUCH", "hfile", "HFILE", "HFile ", "", "PROC"}) {
        SCOPED_TRACE(name);
        try {
            FindResource(name);
            ADD_FAILURE() << "found";
        } catch (const EResourceError& e) {
            EXPECT_EQ(std::string(e.what()), "Resource " + std::string(name) + " not found");
        }
    }
}

TEST(ResourcesTest, EmbeddedImageIsItsSourceByteForByte) {
    const auto embedded = FindResource("HFile");
    const std::string source = BOOTLOADER_TEST_EMBEDDED_IMAGE;
    // The demo image was made by the generator in another process at build time; equality
    // with a fresh one shows it is made the same way every time.
    const std::vector<std::uint8_t> expected = source.empty() ? MakeDemoImage() : [&] {
        const std::string bytes = TTempDir::Read(source);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }();
    EXPECT_TRUE(SameBytes(expected, embedded));
}

TEST(ResourcesTest, DemoImageExercisesStuffingAndHasDistinctBlocks) {
    const auto image = MakeDemoImage();
    ASSERT_EQ(image.size(), FirmwareImage::kImageSize);

    // Blocks 16 and up are the ones an upgrade sends.
    std::size_t withDle = 0, withDoubledDle = 0, endingInDle = 0;
    for (std::size_t j = 16; j < FirmwareImage::kBlockCount; ++j) {
        const auto block = Block(image, j);
        withDle += std::count(block.begin(), block.end(), kDle) > 0;
        const auto dlePair = [](auto a, auto b) { return a == kDle && b == kDle; };
        withDoubledDle += std::adjacent_find(block.begin(), block.end(), dlePair) != block.end();
        endingInDle += block.back() == kDle;
    }
    // The demo image is the same in every build, and so are its counts.
    EXPECT_EQ(withDle, 254u);
    EXPECT_EQ(withDoubledDle, 100u);
    EXPECT_EQ(endingInDle, 100u);
    EXPECT_LT(withDle, FirmwareImage::kBlockCount - 16) << "some blocks should need no stuffing";

    std::set<std::vector<std::uint8_t>> distinct;
    for (std::size_t j = 0; j < FirmwareImage::kBlockCount; ++j) distinct.insert(Block(image, j));
    EXPECT_EQ(distinct.size(), FirmwareImage::kBlockCount);
}
