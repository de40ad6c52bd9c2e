// make-icon FILE: writes the program's icon, the chip picture at 16, 24, 32, 48 and 64
// pixels, as a Windows icon file (32-bit images with their alpha) for the resource script.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "ui/ChipPicture.h"

namespace {

void Put16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One image: its bitmap header (twice the height: colour and mask), the pixels bottom row
// first, then an empty mask (the alpha decides).
std::vector<unsigned char> Image(int size) {
    std::vector<unsigned char> out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, static_cast<std::uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, 32);
    for (int i = 0; i < 6; ++i) Put32(out, 0);
    const std::vector<std::uint32_t> pixels = ChipPixels(size);
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) Put32(out, pixels[static_cast<std::size_t>(y) * size + x]);
    const int maskRow = (size + 31) / 32 * 4;
    out.insert(out.end(), static_cast<std::size_t>(maskRow) * size, 0);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon FILE\n");
        return 2;
    }
    const int sizes[] = {16, 24, 32, 48, 64};
    std::vector<std::vector<unsigned char>> images;
    for (int size : sizes) images.push_back(Image(size));
    std::vector<unsigned char> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<unsigned char>(sizes[i]));
        out.push_back(static_cast<unsigned char>(sizes[i]));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<std::uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    std::ofstream file(argv[1], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file) {
        std::fprintf(stderr, "make-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
