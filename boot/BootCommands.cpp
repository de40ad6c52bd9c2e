#include "boot/BootCommands.h"

#include <algorithm>
#include <array>
#include <string>

#include "boot/BootFrame.h"

namespace {

constexpr std::uint8_t kCmdReadModelNumber = 0x00;
constexpr std::uint8_t kCmdErase = 0x03;
constexpr std::uint8_t kCmdWriteBlock = 0x02;
constexpr std::uint8_t kCmdClearBootFlag = 0x05;
constexpr std::uint8_t kCmdRestart = 0x00;
constexpr std::uint8_t kCmdReadBootInfo = 0x08;

std::string Progress(const char* text, std::uint32_t done, std::uint32_t total) {
    return text + std::to_string(done * 100 / total) + "%";
}

}  // namespace

TBootCommands::TBootCommands(TLumoComms& link, const FirmwareImage& image, OperatorLog& log)
    : link_(link), image_(image), log_(log) {}

bool TBootCommands::ValidProgramEnd(std::uint32_t programEnd) {
    return programEnd <= 0xFFFF && programEnd >= kApplicationStart + kEraseStretch - 1 &&
           (programEnd + 1 - kApplicationStart) % kEraseStretch == 0;
}

std::int32_t TBootCommands::Command(std::uint8_t command, std::uint8_t count, const std::uint8_t* data,
                                    std::uint8_t dataLength, std::uint8_t* reply) {
    return SendBootCommand(link_, command, count, data, dataLength, kTimeoutTicks, reply);
}

std::uint32_t TBootCommands::ReadModelNumber() {
    std::array<std::uint8_t, 2> r{};
    if (Command(kCmdReadModelNumber, 2, nullptr, 0, r.data()) != kReplyNormal) return kNoModelNumber;
    return static_cast<std::uint32_t>(r[0]) << 8 | r[1];
}

std::uint32_t TBootCommands::ReadBootInfo() {
    std::array<std::uint8_t, 4> r{};
    if (Command(kCmdReadBootInfo, 4, nullptr, 0, r.data()) != kReplyNormal) return kNoBootInfo;
    return static_cast<std::uint32_t>(r[0]) << 24 | static_cast<std::uint32_t>(r[1]) << 16 |
           static_cast<std::uint32_t>(r[2]) << 8 | r[3];
}

bool TBootCommands::EraseProgramMemory() {
    const std::uint32_t end = image_.ProgramEnd;
    if (!ValidProgramEnd(end)) return false;
    static constexpr const char* kLine = "Erasing Program Memory......";
    log_.ReplaceLogLine(std::string(kLine) + "0%");
    const std::uint32_t total = (end - (kApplicationStart - 1)) >> 9;
    std::uint32_t done = 0;
    for (std::uint32_t address = kApplicationStart; address != end + 1; address += kEraseStretch) {
        const std::uint8_t data[3] = {static_cast<std::uint8_t>(address & 0xFF),
                                      static_cast<std::uint8_t>(address >> 8 & 0xFF), 0x00};
        std::array<std::uint8_t, 8> reply{};
        if (Command(kCmdErase, 8, data, sizeof data, reply.data()) != kReplyNormal) return false;
        ++done;
        log_.ReplaceLogLine(Progress(kLine, done, total));
    }
    return true;
}

bool TBootCommands::SendProgramData() {
    const std::uint32_t end = image_.ProgramEnd;
    if (!ValidProgramEnd(end)) return false;
    // Blocks from the first of the application area through the last one that starts at or
    // below ProgramEnd; absent blocks are skipped without a command.
    const std::uint32_t firstBlock = kApplicationStart / FirmwareImage::kBlockSize;
    const std::uint32_t lastBlock = end / FirmwareImage::kBlockSize;
    std::uint32_t total = 0;
    for (std::uint32_t j = firstBlock; j <= lastBlock; ++j) total += image_.BlockPresent[j] ? 1 : 0;

    static constexpr const char* kLine = "Sending New Program Data......";
    log_.ReplaceLogLine(std::string(kLine) + "0%");
    std::uint32_t sent = 0;
    for (std::uint32_t j = firstBlock; j <= lastBlock && sent < total; ++j) {
        if (!image_.BlockPresent[j]) continue;
        const std::uint32_t address = j * FirmwareImage::kBlockSize;
        std::array<std::uint8_t, 3 + FirmwareImage::kBlockSize> data{};
        data[0] = static_cast<std::uint8_t>(address & 0xFF);
        data[1] = static_cast<std::uint8_t>(address >> 8 & 0xFF);
        data[2] = 0x00;
        std::copy_n(image_.ImageBuffer.begin() + address, FirmwareImage::kBlockSize, data.begin() + 3);
        std::array<std::uint8_t, 2> reply{};
        if (Command(kCmdWriteBlock, 2, data.data(), static_cast<std::uint8_t>(data.size()), reply.data()) !=
            kReplyNormal)
            return false;
        ++sent;
        log_.ReplaceLogLine(Progress(kLine, sent, total));
    }
    return true;
}

bool TBootCommands::ClearBootFlag() {
    static constexpr std::uint8_t kData[4] = {0xFF, 0x03, 0x00, 0x00};
    std::array<std::uint8_t, 1> reply{};
    for (int attempt = 0; attempt < kClearBootFlagAttempts; ++attempt) {
        if (Command(kCmdClearBootFlag, 1, kData, sizeof kData, reply.data()) == kReplyNormal) return true;
    }
    return false;
}

void TBootCommands::RestartUnit() {
    Command(kCmdRestart, 0, nullptr, 0, nullptr);
}
