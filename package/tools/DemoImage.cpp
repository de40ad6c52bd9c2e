#include "package/tools/DemoImage.h"

namespace {

constexpr std::size_t kImageSize = 65536;
constexpr std::size_t kBlockSize = 128;
constexpr std::uint8_t kDle = 0x10;

}  // namespace

std::vector<std::uint8_t> MakeDemoImage() {
    std::vector<std::uint8_t> image(kImageSize);
    // xorshift32 with a fixed seed: a byte stream that looks like code, reproducible anywhere.
    std::uint32_t state = 0x6181F112u;
    for (std::uint8_t& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    for (std::size_t block = 0; block < kImageSize / kBlockSize; ++block) {
        std::uint8_t* b = image.data() + block * kBlockSize;
        // The block number up front makes every block unique whatever the stream holds.
        b[0] = static_cast<std::uint8_t>(block >> 8);
        b[1] = static_cast<std::uint8_t>(block);
        if (block % 5 == 2) {
            b[2] = kDle;
            b[3] = kDle;
            b[64] = kDle;
            b[kBlockSize - 1] = kDle;
        }
    }
    return image;
}
