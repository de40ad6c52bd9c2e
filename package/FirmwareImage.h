#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The firmware package the program carries: the 64 KiB program image indexed by
// program-memory address, its map of present 128-byte blocks, and the numbers
// that go with it. One instance lives for the life of the application.
struct FirmwareImage {
    static constexpr std::size_t kImageSize = 65536;
    static constexpr std::size_t kBlockSize = 128;
    static constexpr std::size_t kBlockCount = kImageSize / kBlockSize;  // 512

    std::array<std::uint8_t, kImageSize> ImageBuffer{};
    std::array<bool, kBlockCount> BlockPresent{};

    std::uint16_t ProcessorNumber = 0;
    // Last program-memory address of the target; 0 until the processor table sets it.
    std::uint32_t ProgramEnd = 0;
    std::uint16_t PackageModel = 0;
    std::uint16_t ExpectedModel = 0;
    // major * 100 + minor
    std::uint16_t PackageVersion = 0;

    // Clears ImageBuffer to zero (the block map is left alone).
    void ClearImage();
    // Marks every block present.
    void MarkAllPresent();
    // Reads up to 65536 bytes of the "HFile" resource from address 0, then marks every block
    // present. Throws EResourceError "Resource HFile not found" when the build carries none.
    void LoadImageFromResource();
    // Reads up to 65536 bytes of the file from address 0 (a shorter file leaves the rest as it
    // was), then marks every block present. Throws EFileError "Cannot open file <path>" when it
    // cannot be read; the image is then unchanged.
    void LoadImageFromFile(const std::string& path);
    // Looks the processor up in the processor table and sets ProgramEnd; an unknown number
    // leaves ProgramEnd unchanged.
    void SetProgramEnd(std::uint16_t processorNumber);
};

// The last program address the processor table gives for a processor, or nothing for a
// processor the table does not list.
std::optional<std::uint32_t> ProcessorProgramEnd(std::uint16_t processorNumber);

// The first two bytes of the named package resource, little-endian.
// Throws EResourceError "Resource <name> not found".
std::uint16_t ReadResourceWord(const std::string& name);
