#include "package/FirmwareImage.h"

#include <algorithm>
#include <vector>

#include "package/FileError.h"
#include "package/Resources.h"
#include "platform/FileSystem.h"

namespace {

struct TProcessorRow {
    std::uint16_t ProcessorNumber;
    std::uint32_t ProgramEnd;
};

// Last program-memory address of each known target processor.
constexpr TProcessorRow kProcessorTable[] = {
    {2525, 0xBFFF}, {2620, 0xFFFF}, {4680, 0xFFFF}, {6622, 0xFFFF}, {4321, 0x1FFF},
};

}  // namespace

void FirmwareImage::ClearImage() {
    ImageBuffer.fill(0);
}

void FirmwareImage::MarkAllPresent() {
    BlockPresent.fill(true);
}

void FirmwareImage::LoadImageFromResource() {
    std::span<const std::uint8_t> image = FindResource("HFile");
    std::size_t length = std::min(image.size(), kImageSize);
    std::copy_n(image.begin(), length, ImageBuffer.begin());
    MarkAllPresent();
}

void FirmwareImage::LoadImageFromFile(const std::string& path) {
    // Read completely before touching the image, so that a failure leaves it as it was.
    std::string bytes;
    if (ReadFileBytes(path, bytes, kImageSize) != TFileReadOutcome::Read)
        throw EFileError("Cannot open file " + path);
    std::copy(bytes.begin(), bytes.end(), ImageBuffer.begin());
    MarkAllPresent();
}

std::optional<std::uint32_t> ProcessorProgramEnd(std::uint16_t processorNumber) {
    for (const TProcessorRow& row : kProcessorTable) {
        if (row.ProcessorNumber == processorNumber) return row.ProgramEnd;
    }
    return std::nullopt;
}

void FirmwareImage::SetProgramEnd(std::uint16_t processorNumber) {
    if (const auto end = ProcessorProgramEnd(processorNumber)) ProgramEnd = *end;
}

std::uint16_t ReadResourceWord(const std::string& name) {
    std::span<const std::uint8_t> bytes = FindResource(name);
    // A resource shorter than two bytes yields what it holds.
    std::uint16_t value = 0;
    if (bytes.size() > 0) value = bytes[0];
    if (bytes.size() > 1) value = static_cast<std::uint16_t>(value | (bytes[1] << 8));
    return value;
}
