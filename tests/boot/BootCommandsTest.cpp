#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "boot/BootCommands.h"
#include "link/LumoComms.h"
#include "platform/OperatorLog.h"
#include "support/MemoryPortFactory.h"
#include "support/VirtualMessageLoop.h"
#include "tests/boot/ScriptedBootLoader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using TFault = TScriptedBootLoader::TFault;

// Keeps the lines and every text written to the last line, in order.
class TProgressLog : public OperatorLog {
public:
    void Clear() override { lines.clear(); }
    void AddLogLine(const std::string& text) override { lines.push_back(text); }
    void ReplaceLogLine(const std::string& text) override {
        replacements.push_back(text);
        if (!lines.empty()) lines.back() = text;
    }
    void AppendLine(const std::string& text) override { lines.push_back(text); }

    std::vector<std::string> lines;
    std::vector<std::string> replacements;
};

const std::string kErase = "Erasing Program Memory......";
const std::string kSend = "Sending New Program Data......";

// Boot commands against a scripted boot loader on the virtual clock, over an in-memory
// COM1. The image's bytes are rich in DLE and ETX, so that stuffing is exercised in
// every block; every block is present.
struct TRig {
    explicit TRig(std::uint32_t programEnd) {
        ports->AddPort("COM1");
        link->RxBufferSize = 500;
        EXPECT_TRUE(link->Open());
        std::mt19937 rng(programEnd);
        std::uniform_int_distribution<int> pick(0, 7);
        std::uniform_int_distribution<int> any(0, 255);
        for (auto& b : image.ImageBuffer) {
            const int p = pick(rng);
            b = p == 0 ? 0x10 : p == 1 ? 0x03 : static_cast<std::uint8_t>(any(rng));
        }
        image.BlockPresent.fill(true);
        image.ProgramEnd = programEnd;
    }

    // The commands with this code, in the order the loader saw them.
    std::vector<TScriptedBootLoader::TCommand> CommandsOf(std::uint8_t code) const {
        std::vector<TScriptedBootLoader::TCommand> picked;
        for (const auto& c : loader.Commands())
            if (c.Command == code) picked.push_back(c);
        return picked;
    }

    // The write command's data for block j: address low, high, 0, then the block's bytes.
    Bytes BlockData(std::uint32_t j) const {
        const std::uint32_t address = j * 128;
        Bytes data = {static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8),
                      0x00};
        data.insert(data.end(), image.ImageBuffer.begin() + address,
                    image.ImageBuffer.begin() + address + 128);
        return data;
    }

    TVirtualMessageLoop loop;
    std::shared_ptr<TMemoryPortFactory> ports = std::make_shared<TMemoryPortFactory>(loop);
    std::unique_ptr<TLumoComms> link = std::make_unique<TLumoComms>(loop, ports);
    TScriptedBootLoader loader{*ports, "COM1"};
    FirmwareImage image;
    TProgressLog log;
    TBootCommands boot{*link, image, log};
};

// The progress texts of a loop of total steps after its first done steps succeeded.
std::vector<std::string> ProgressLines(const std::string& text, unsigned done, unsigned total) {
    std::vector<std::string> expected = {text + "0%"};
    for (unsigned i = 1; i <= done; ++i) expected.push_back(text + std::to_string(i * 100 / total) + "%");
    return expected;
}

Bytes EraseData(std::uint32_t address) {
    return {static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8), 0x00};
}

TEST(BootCommands, FullUpgradeErasesAndWritesTheApplicationAreaInAddressOrder) {
    struct Row {
        std::uint32_t programEnd;
        unsigned erases;
        unsigned writes;
    };
    const Row rows[] = {{0xFFFF, 124, 496}, {0xBFFF, 92, 368}, {0x1FFF, 12, 48}, {0x09FF, 1, 4}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.programEnd);
        TRig rig(row.programEnd);
        rig.log.AddLogLine(kErase);
        EXPECT_TRUE(rig.boot.EraseProgramMemory());
        rig.log.AddLogLine(kSend);
        EXPECT_TRUE(rig.boot.SendProgramData());

        EXPECT_TRUE(rig.loader.InvalidFrames().empty());
        ASSERT_EQ(rig.loader.Commands().size(), row.erases + row.writes);
        const auto erases = rig.CommandsOf(0x03);
        const auto writes = rig.CommandsOf(0x02);
        ASSERT_EQ(erases.size(), row.erases);
        ASSERT_EQ(writes.size(), row.writes);
        for (unsigned i = 0; i < row.erases; ++i) {
            EXPECT_EQ(rig.loader.Commands()[i].Command, 0x03) << "every erase comes before the first write";
            EXPECT_EQ(erases[i].Count, 8);
            ASSERT_EQ(erases[i].Data, EraseData(2048 + 512 * i)) << i;
        }
        EXPECT_EQ(2048 + 512 * row.erases, row.programEnd + 1) << "the last stretch ends at ProgramEnd";
        for (unsigned i = 0; i < row.writes; ++i) {
            EXPECT_EQ(writes[i].Count, 2);
            ASSERT_EQ(writes[i].Data, rig.BlockData(16 + i)) << i;
        }
        EXPECT_EQ((16 + row.writes) * 128, row.programEnd + 1) << "the last block ends at ProgramEnd";

        std::vector<std::string> expected = ProgressLines(kErase, row.erases, row.erases);
        const auto sending = ProgressLines(kSend, row.writes, row.writes);
        expected.insert(expected.end(), sending.begin(), sending.end());
        EXPECT_EQ(rig.log.replacements, expected);
        EXPECT_EQ(rig.log.lines, (std::vector<std::string>{kErase + "100%", kSend + "100%"}));
    }
}

TEST(BootCommands, OnlyPresentBlocksOfTheApplicationAreaAreWritten) {
    TRig rig(0xFFFF);
    rig.image.BlockPresent.fill(false);
    for (std::uint32_t j : {0u, 15u, 16u, 17u, 100u, 511u}) rig.image.BlockPresent[j] = true;
    rig.log.AddLogLine(kSend);
    EXPECT_TRUE(rig.boot.SendProgramData());
    const auto writes = rig.CommandsOf(0x02);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].Data, rig.BlockData(16));
    EXPECT_EQ(writes[1].Data, rig.BlockData(17));
    EXPECT_EQ(writes[2].Data, rig.BlockData(100));
    EXPECT_EQ(writes[3].Data, rig.BlockData(511));
    EXPECT_EQ(rig.log.replacements, ProgressLines(kSend, 4, 4));
}

TEST(BootCommands, AFailedCommandStopsTheLoopAtTheLastPercentageReached) {
    struct Row {
        const char* name;
        bool erase;
        std::size_t failAt;  // index among the loop's commands
        TFault fault;
        unsigned total;
    };
    const Row rows[] = {
        {"erase, silent", true, 0, TFault::Silent, 124},
        {"erase, bad checksum", true, 61, TFault::BadChecksum, 124},
        {"write, silent", false, 200, TFault::Silent, 496},
        {"write, bad checksum, last block", false, 495, TFault::BadChecksum, 496},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TRig rig(0xFFFF);
        rig.loader.FailAt(row.failAt, row.fault);
        const std::string& text = row.erase ? kErase : kSend;
        rig.log.AddLogLine(text);
        EXPECT_FALSE(row.erase ? rig.boot.EraseProgramMemory() : rig.boot.SendProgramData());
        EXPECT_EQ(rig.loader.Commands().size(), row.failAt + 1) << "nothing is sent after the failed command";
        EXPECT_EQ(rig.log.replacements, ProgressLines(text, static_cast<unsigned>(row.failAt), row.total));
        EXPECT_EQ(rig.log.lines.size(), 1u);
    }
}

TEST(BootCommands, IdentityReadsDecodeTheReplyOrReportNoReply) {
    struct Row {
        const char* name;
        Bytes data;
        TFault fault;
        std::uint32_t model;
        std::uint32_t info;
    };
    const Row rows[] = {
        {"answers", {0x18, 0x25, 0x00, 0x69}, TFault::None, 0x1825, 0x18250069},
        {"answers with DLE bytes", {0x10, 0x10, 0x10, 0x03}, TFault::None, 0x1010, 0x10101003},
        {"silent", {0x18, 0x25, 0x00, 0x69}, TFault::Silent, 0xFFFF0000, 0xFFFFFFFF},
        {"bad checksum", {0x18, 0x25, 0x00, 0x69}, TFault::BadChecksum, 0xFFFF0000, 0xFFFFFFFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TRig rig(0xFFFF);
        rig.loader.SetReplyData(0x00, Bytes(row.data.begin(), row.data.begin() + 2));
        rig.loader.SetReplyData(0x08, row.data);
        rig.loader.FailAt(0, row.fault);
        rig.loader.FailAt(1, row.fault);
        EXPECT_EQ(rig.boot.ReadModelNumber(), row.model);
        EXPECT_EQ(rig.boot.ReadBootInfo(), row.info);
        ASSERT_EQ(rig.loader.Commands().size(), 2u);
        EXPECT_EQ(rig.loader.Commands()[0].Count, 2);
        EXPECT_EQ(rig.loader.Commands()[1].Command, 0x08);
        EXPECT_EQ(rig.loader.Commands()[1].Count, 4);
    }
}

TEST(BootCommands, ClearBootFlagAndRestartSendTheirConstantCommandsAndWaitThirtyTicks) {
    TRig rig(0xFFFF);
    rig.loader.FailAt(1, TFault::Silent);
    rig.boot.ClearBootFlag();
    const std::uint64_t start = rig.loop.Now();
    rig.boot.RestartUnit();
    EXPECT_EQ(rig.loop.Now() - start, 3100u) << "a silent unit is awaited for (30 + 1) ticks";
    ASSERT_EQ(rig.loader.Commands().size(), 2u);
    EXPECT_EQ(rig.loader.Commands()[0].Command, 0x05);
    EXPECT_EQ(rig.loader.Commands()[0].Count, 1);
    EXPECT_EQ(rig.loader.Commands()[0].Data, (Bytes{0xFF, 0x03, 0x00, 0x00}));
    EXPECT_EQ(rig.loader.Commands()[1].Command, 0x00);
    EXPECT_EQ(rig.loader.Commands()[1].Count, 0);
    EXPECT_TRUE(rig.loader.Commands()[1].Data.empty());
}

TEST(BootCommands, ClearBootFlagIsRepeatedUntilAnsweredAtMostThreeTimes) {
    struct TRow {
        std::size_t silent;  // attempts the unit leaves unanswered
        bool cleared;
        std::size_t commands;
    };
    for (const TRow row : {TRow{0, true, 1}, TRow{2, true, 3}, TRow{3, false, 3}, TRow{5, false, 3}}) {
        SCOPED_TRACE(row.silent);
        TRig rig(0xFFFF);
        for (std::size_t i = 0; i < row.silent; ++i) rig.loader.FailAt(i, TFault::Silent);
        EXPECT_EQ(rig.boot.ClearBootFlag(), row.cleared);
        ASSERT_EQ(rig.loader.Commands().size(), row.commands);
        for (const auto& c : rig.loader.Commands()) EXPECT_EQ(c.Command, 0x05);
    }
}

TEST(BootCommands, AProgramEndOutsideTheProcessorTableIsRefusedWithoutSendingAnything) {
    // Unset, inside the boot loader, not on a stretch boundary, beyond 16-bit addresses.
    for (std::uint32_t end : {0u, 0x07FFu, 0x1FFEu, 0x2000u, 0x100FFu, 0x1FFFFu}) {
        SCOPED_TRACE(end);
        TRig rig(end);
        rig.log.AddLogLine(kErase);
        EXPECT_FALSE(rig.boot.EraseProgramMemory());
        EXPECT_FALSE(rig.boot.SendProgramData());
        EXPECT_TRUE(rig.loader.Commands().empty());
        EXPECT_TRUE(rig.log.replacements.empty());
    }
}

}  // namespace
