#include <gtest/gtest.h>

#include <numeric>
#include <span>

#include "sim/SimModelTable.h"
#include "sim/SimUnit.h"
#include "support/SameBytes.h"
#include "tests/sim/SimTestFrames.h"

using simtest::Bytes;
using simtest::Exchange;

namespace {

TSimConfig InBootLoader(std::uint16_t model = 6181) {
    TSimConfig c;
    c.Model = model;
    c.InitialMode = TSimMode::BootLoader;
    return c;
}

// The reply data after the two header bytes, checked for framing and checksum.
Bytes ReplyData(const Bytes& wire) {
    const auto payload = simtest::UnstuffReply(wire);
    EXPECT_TRUE(payload.has_value());
    if (!payload || payload->size() < 3) return {};
    EXPECT_EQ(std::accumulate(payload->begin(), payload->end(), 0u) & 0xFF, 0u);
    return Bytes(payload->begin() + 2, payload->end() - 1);
}

Bytes Block(std::uint8_t seed) {
    Bytes b(128);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::uint8_t(seed + i * 7);
    return b;
}

}  // namespace

TEST(SimUnitBoot, EntryWritesSwitchEachModelAtItsSpeeds) {
    struct Case {
        std::uint16_t model;
        Bytes entry;  // the first entry write of the model's recipe
        std::uint32_t modbusSpeed;
        std::uint32_t bootSpeed;
    };
    const Case cases[] = {
        {6104, simtest::WriteRequest(1, 6, 156, 0x5A3E), 9600, 115200},
        {6164, simtest::WriteRequest(1, 6, 156, 0x5A3E), 9600, 115200},
        {6181, simtest::WriteRequest(19, 103, 29, 0x5A3E), 9600, 115200},
        {6155, simtest::WriteRequest(19, 103, 29, 0x5A3E), 9600, 115200},
        {6203, simtest::WriteRequest(19, 103, 29, 0x5A3E), 9600, 115200},
        {6121, simtest::WriteRequest(242, 6, 13, 0x5A3E), 9600, 115200},
        {6140, simtest::WriteRequest(1, 103, 8, 0x5A3E), 9600, 115200},
        {6152, simtest::WriteRequest(1, 103, 8, 0x5A3E), 800000, 92160},
        {6152, simtest::WriteRequest(2, 103, 5, 0x5A3E), 800000, 92160},
    };
    for (const Case& c : cases) {
        TSimConfig config;
        config.Model = c.model;
        TSimUnit unit(config);
        std::uint64_t now = 0;
        ASSERT_EQ(unit.Mode(), TSimMode::Application) << c.model;
        // Nothing at the boot speed while the application runs.
        EXPECT_TRUE(Exchange(unit, simtest::ReadModelRequest(), now, c.bootSpeed).empty()) << c.model;
        // The entry write is echoed at the application's speed, then the boot loader runs.
        EXPECT_EQ(Exchange(unit, c.entry, now, c.modbusSpeed), c.entry) << c.model;
        EXPECT_EQ(unit.Mode(), TSimMode::BootLoader) << c.model;
        EXPECT_TRUE(unit.BootFlag()) << c.model;
        EXPECT_TRUE(Exchange(unit, simtest::ReadRequest(19, 20, 2), now, c.modbusSpeed).empty()) << c.model;
        const Bytes reply = Exchange(unit, simtest::ReadModelRequest(), now, c.bootSpeed);
        EXPECT_EQ(ReplyData(reply), (Bytes{std::uint8_t(c.model >> 8), std::uint8_t(c.model)})) << c.model;
    }
}

TEST(SimUnitBoot, OtherWritesDoNotSwitch) {
    struct Case {
        const char* name;
        std::uint16_t model;
        Bytes write;
    };
    const Case cases[] = {
        {"other value", 6181, simtest::WriteRequest(19, 103, 29, 0x5A3F)},
        {"other function", 6181, simtest::WriteRequest(19, 6, 29, 0x5A3E)},
        {"other model's recipe", 6181, simtest::WriteRequest(1, 103, 8, 0x5A3E)},
        {"6140 through slave 19", 6140, simtest::WriteRequest(19, 103, 29, 0x5A3E)},
        {"6104 by function 103", 6104, simtest::WriteRequest(1, 103, 156, 0x5A3E)},
        {"block write of the value", 6181, simtest::WithCrc({19, 104, 0, 29, 0, 1, 2, 0x5A, 0x3E})},
    };
    for (const Case& c : cases) {
        TSimConfig config;
        config.Model = c.model;
        TSimUnit unit(config);
        std::uint64_t now = 0;
        Exchange(unit, c.write, now, 9600);
        EXPECT_EQ(unit.Mode(), TSimMode::Application) << c.name;
        EXPECT_EQ(unit.Statistics().BootEntries, 0u) << c.name;
    }
}

TEST(SimUnitBoot, BroadcastEntryOfThe6104SwitchesWithoutReply) {
    TSimConfig config;
    config.Model = 6104;
    TSimUnit unit(config);
    std::uint64_t now = 0;
    EXPECT_TRUE(Exchange(unit, simtest::WriteRequest(0, 6, 156, 0x5A3E), now, 9600).empty());
    EXPECT_EQ(unit.Mode(), TSimMode::BootLoader);
}

TEST(SimUnitBoot, ModelsWithoutEntryWriteStartInTheBootLoader) {
    for (std::uint16_t model : {6160, 4242}) {
        TSimConfig config;
        config.Model = model;
        TSimUnit unit(config);
        EXPECT_EQ(unit.Mode(), TSimMode::BootLoader) << model;
        EXPECT_EQ(unit.ExpectedSpeed(), 115200u) << model;
    }
    EXPECT_TRUE(TSimModelTable::Known(6160));
    EXPECT_FALSE(TSimModelTable::Known(4242));
    EXPECT_FALSE(TSimModelTable::Known(6170));  // a product on the shared board reports 6140
}

TEST(SimUnitBoot, IdentityRepliesOfTheWorkedExample) {
    TSimConfig c = InBootLoader(6181);
    c.BootLoaderVersion = 105;
    TSimUnit unit(c);
    std::uint64_t now = 0;
    // 10 02 00 02 FE 10 03: model 6181 = 0x1825, header bytes command and status 0.
    EXPECT_EQ(Exchange(unit, {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03}, now, 115200),
              (Bytes{0x10, 0x02, 0x00, 0x00, 0x18, 0x25, 0xC3, 0x10, 0x03}));
    EXPECT_EQ(ReplyData(Exchange(unit, simtest::BootInfoRequest(), now, 115200)),
              (Bytes{0x18, 0x25, 0x00, 105}));
}

TEST(SimUnitBoot, DleInReplyIsDoubled) {
    // 6160 is 0x1810: the low byte of the model travels doubled.
    TSimUnit unit(InBootLoader(6160));
    std::uint64_t now = 0;
    const Bytes reply = Exchange(unit, simtest::ReadModelRequest(), now, 115200);
    EXPECT_EQ(reply, (Bytes{0x10, 0x02, 0x00, 0x00, 0x18, 0x10, 0x10, 0xD8, 0x10, 0x03}));
    EXPECT_EQ(ReplyData(reply), (Bytes{0x18, 0x10}));

    TSimConfig c = InBootLoader(6181);
    c.BootLoaderModel = 0x1010;
    c.BootLoaderVersion = 0x0110;
    TSimUnit other(c);
    EXPECT_EQ(ReplyData(Exchange(other, simtest::BootInfoRequest(), now, 115200)),
              (Bytes{0x10, 0x10, 0x01, 0x10}));
}

TEST(SimUnitBoot, SilentOnBadRequests) {
    TSimUnit unit(InBootLoader());
    std::uint64_t now = 0;
    struct Case {
        const char* name;
        Bytes wire;
    };
    const Case cases[] = {
        {"bad checksum", {0x10, 0x02, 0x00, 0x02, 0xFD, 0x10, 0x03}},
        {"no checksum", {0x10, 0x02, 0x00, 0x10, 0x03}},
        {"unknown command", simtest::BootRequest(0x07, 0)},
        {"read model with wrong count", simtest::BootRequest(0x00, 3)},
        {"info with data", simtest::BootRequest(0x08, 4, {0x00})},
        {"erase with third address byte set", simtest::BootRequest(0x03, 8, {0x00, 0x08, 0x01})},
        {"write one byte short", simtest::BootRequest(0x02, 2, Bytes(130, 0x00))},
        {"clear flag with other data", simtest::BootRequest(0x05, 1, {0xFF, 0x03, 0x00, 0x01})},
        {"wrong speed", simtest::ReadModelRequest()},
    };
    for (const Case& c : cases) {
        const std::uint32_t baud = std::string(c.name) == "wrong speed" ? 9600 : 115200;
        EXPECT_TRUE(Exchange(unit, c.wire, now, baud).empty()) << c.name;
    }
    EXPECT_EQ(unit.Statistics().BootBadChecksum, 2u);
    EXPECT_EQ(unit.Statistics().BootMalformed, 6u);
    EXPECT_EQ(unit.Statistics().WrongLineBytes, simtest::ReadModelRequest().size());
}

TEST(SimUnitBoot, EraseAndWriteOnlyInsideTheApplicationArea) {
    TSimConfig c = InBootLoader();
    c.PartEnd = 0xBFFF;
    c.InitialFlash = Bytes(0x10000, 0xA5);
    TSimUnit unit(c);
    std::uint64_t now = 0;
    struct Case {
        const char* name;
        Bytes request;
        bool accepted;
    };
    const Case cases[] = {
        {"erase below 2048", simtest::EraseRequest(1536), false},
        {"erase 2048", simtest::EraseRequest(2048), true},
        {"erase last page", simtest::EraseRequest(0xBE00), true},
        {"erase past the part", simtest::EraseRequest(0xC000), false},
        {"erase off a page", simtest::EraseRequest(2048 + 128), false},
        {"write below 2048", simtest::WriteBlockRequest(1920, Block(1)), false},
        {"write 2048", simtest::WriteBlockRequest(2048, Block(2)), true},
        {"write last block", simtest::WriteBlockRequest(0xBF80, Block(3)), true},
        {"write past the part", simtest::WriteBlockRequest(0xC000, Block(4)), false},
        {"write off a block", simtest::WriteBlockRequest(2048 + 64, Block(5)), false},
    };
    for (const Case& k : cases) {
        const Bytes reply = Exchange(unit, k.request, now, 115200);
        EXPECT_EQ(!reply.empty(), k.accepted) << k.name;
        if (k.accepted) {
            EXPECT_TRUE(ReplyData(reply).empty()) << k.name;
        }
    }
    const auto& flash = unit.Flash();
    EXPECT_EQ(flash[2047], 0xA5);
    EXPECT_TRUE(SameBytes(Block(2), std::span(flash).subspan(2048, 128), 2048));
    EXPECT_EQ(flash[2048 + 128], 0xFF);
    EXPECT_EQ(flash[2048 + 512], 0xA5);
    EXPECT_TRUE(SameBytes(Block(3), std::span(flash).subspan(0xBF80, 128), 0xBF80));
    EXPECT_EQ(flash[0xBE00], 0xFF);
    EXPECT_EQ(flash[0xC000], 0xA5);
    EXPECT_EQ(unit.Statistics().RefusedErases, 3u);
    EXPECT_EQ(unit.Statistics().RefusedWrites, 3u);
    EXPECT_EQ(unit.Statistics().WritesOverProgrammed, 0u);

    // A write over bytes that were not erased is carried out and counted.
    EXPECT_FALSE(Exchange(unit, simtest::WriteBlockRequest(2048 + 512, Block(6)), now, 115200).empty());
    EXPECT_EQ(unit.Statistics().WritesOverProgrammed, 1u);
}

TEST(SimUnitBoot, BlockWithDleBytesArrivesIntact) {
    TSimUnit unit(InBootLoader());
    std::uint64_t now = 0;
    const Bytes block(128, 0x10);
    EXPECT_FALSE(Exchange(unit, simtest::EraseRequest(0x1000), now, 115200).empty());
    // Address 0x1000 puts a DLE into the address too.
    EXPECT_FALSE(Exchange(unit, simtest::WriteBlockRequest(0x1000, block), now, 115200).empty());
    EXPECT_TRUE(SameBytes(block, std::span(unit.Flash()).subspan(0x1000, block.size()), 0x1000));
}

TEST(SimUnitBoot, RestartRunsTheNewFirmwareOnceTheBootFlagIsCleared) {
    TSimConfig c;
    c.Model = 6181;
    c.Version = 109;
    c.NewVersion = 112;
    TSimUnit unit(c);
    std::uint64_t now = 0;
    Exchange(unit, simtest::WriteRequest(19, 103, 29, 0x5A3E), now, 9600);
    ASSERT_EQ(unit.Mode(), TSimMode::BootLoader);

    // Without the boot flag cleared the unit comes back in its boot loader.
    EXPECT_FALSE(Exchange(unit, simtest::RestartRequest(), now, 115200).empty());
    EXPECT_EQ(unit.Mode(), TSimMode::BootLoader);

    EXPECT_FALSE(Exchange(unit, simtest::ClearFlagRequest(), now, 115200).empty());
    EXPECT_FALSE(unit.BootFlag());
    const Bytes restartReply = Exchange(unit, simtest::RestartRequest(), now, 115200);
    EXPECT_TRUE(ReplyData(restartReply).empty());
    EXPECT_EQ(unit.Mode(), TSimMode::Application);
    EXPECT_EQ(Exchange(unit, simtest::ReadRequest(19, 20, 2), now, 9600),
              simtest::WithCrc({19, 3, 4, 0x18, 0x25, 0x00, 112}));
    EXPECT_EQ(unit.Statistics().BootRestarts, 2u);
}

TEST(SimUnitBoot, NewFirmwareOf6155ClearsSettingsOnlyAcrossItsLayoutChange) {
    struct Case {
        const char* name;
        std::uint16_t from;
        std::uint16_t to;
        std::optional<bool> reset;
        bool cleared;
    };
    const Case cases[] = {
        {"109 to 110", 109, 110, std::nullopt, true},
        {"110 to 112", 110, 112, std::nullopt, false},
        {"105 to 109", 105, 109, std::nullopt, false},
        {"forced", 110, 112, true, true},
        {"kept", 109, 110, false, false},
    };
    for (const Case& k : cases) {
        TSimConfig c;
        c.Model = 6155;
        c.Version = k.from;
        c.NewVersion = k.to;
        c.ResetSettingsOnRestart = k.reset;
        TSimUnit unit(c);
        std::uint64_t now = 0;
        Exchange(unit, simtest::WriteRequest(19, 103, 29, 0x5A3E), now, 9600);
        Exchange(unit, simtest::ClearFlagRequest(), now, 115200);
        Exchange(unit, simtest::RestartRequest(), now, 115200);
        ASSERT_EQ(unit.Mode(), TSimMode::Application) << k.name;
        const std::uint16_t expected17 = k.cleared ? 0 : (17 << 8) | 24;
        const std::uint16_t expected20 = k.cleared ? 0 : (20 << 8) | 28;
        EXPECT_EQ(unit.Register(17, 24), expected17) << k.name;
        EXPECT_EQ(unit.Register(20, 28), expected20) << k.name;
        EXPECT_EQ(unit.Register(19, 21), k.to) << k.name;
    }
}

TEST(SimUnitBoot, EraseAndWriteLatenciesDelayTheirReplies) {
    TSimConfig c = InBootLoader();
    c.EraseLatencyUs = 25000;
    c.WriteLatencyUs = 3000;
    TSimUnit unit(c);
    auto erase = unit.Receive(simtest::EraseRequest(2048), 1'000'000, simtest::Line(115200));
    auto write = unit.Receive(simtest::WriteBlockRequest(2048, Block(0)), 2'000'000, simtest::Line(115200));
    auto model = unit.Receive(simtest::ReadModelRequest(), 3'000'000, simtest::Line(115200));
    ASSERT_EQ(erase.size(), 1u);
    ASSERT_EQ(write.size(), 1u);
    ASSERT_EQ(model.size(), 1u);
    EXPECT_EQ(erase[0].DelayUs, 25000u);
    EXPECT_EQ(write[0].DelayUs, 3000u);
    EXPECT_EQ(model[0].DelayUs, 0u);
}
