#include <gtest/gtest.h>

#include <vector>

#include "sim/SimBootFramer.h"
#include "sim/SimModbusFramer.h"
#include "tests/sim/SimTestFrames.h"

using simtest::Bytes;

namespace {

// Feeds chunks, each at its own time stamp, and collects the requests cut out.
std::vector<Bytes> FeedModbus(TSimModbusFramer& framer,
                              const std::vector<std::pair<std::uint64_t, Bytes>>& chunks) {
    std::vector<Bytes> frames;
    for (const auto& [at, chunk] : chunks) {
        for (std::uint8_t b : chunk) {
            if (auto f = framer.Feed(b, at)) frames.push_back(*f);
        }
    }
    return frames;
}

std::vector<Bytes> FeedBoot(TSimBootFramer& framer, const Bytes& bytes) {
    std::vector<Bytes> payloads;
    for (std::uint8_t b : bytes) {
        if (auto p = framer.Feed(b)) payloads.push_back(*p);
    }
    return payloads;
}

}  // namespace

TEST(SimModbusFramer, CutsRequestsByTheirLayout) {
    const Bytes read{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D};
    const Bytes multiple{0x14, 0x68, 0x00, 0x07, 0x00, 0x02, 0x04, 0x01, 0x02, 0x03, 0x04, 0xD5, 0x8B};
    const Bytes unknownFunction = simtest::WithCrc({0x13, 0x2B, 0x0E, 0x01, 0x00});

    struct Case {
        const char* name;
        std::vector<std::pair<std::uint64_t, Bytes>> chunks;
        std::vector<Bytes> expected;
        std::uint32_t incomplete;
    };
    const std::vector<Case> cases = {
        {"one chunk", {{1000, read}}, {read}, 0},
        {"split close together",
         {{1000, Bytes(read.begin(), read.begin() + 3)}, {2000, Bytes(read.begin() + 3, read.end())}},
         {read},
         0},
        {"two requests in one chunk",
         {{1000,
           [&] {
               Bytes b = read;
               b.insert(b.end(), multiple.begin(), multiple.end());
               return b;
           }()}},
         {read, multiple},
         0},
        {"write multiple by byte count",
         {{1000, Bytes(multiple.begin(), multiple.begin() + 7)},
          {1500, Bytes(multiple.begin() + 7, multiple.end())}},
         {multiple},
         0},
        {"stray byte then silence", {{1000, {0x55}}, {50000, read}}, {read}, 1},
        {"cut off by silence", {{1000, Bytes(read.begin(), read.begin() + 5)}, {50000, read}}, {read}, 1},
        {"unknown layout ends at its CRC", {{1000, unknownFunction}}, {unknownFunction}, 0},
    };
    for (const Case& c : cases) {
        TSimModbusFramer framer;
        framer.SetGapUs(4000);
        EXPECT_EQ(FeedModbus(framer, c.chunks), c.expected) << c.name;
        EXPECT_EQ(framer.Incomplete(), c.incomplete) << c.name;
    }
}

TEST(SimModbusFramer, StrayByteWithoutSilenceCostsOnlyThatRequest) {
    // Without a gap the unit cannot tell noise from the request: what it collects is not
    // the request, and the next silence lets the following request through intact.
    const Bytes read{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D};
    for (std::uint8_t noise : {0x00, 0x13, 0x03}) {
        TSimModbusFramer framer;
        framer.SetGapUs(4000);
        Bytes noisy{noise};
        noisy.insert(noisy.end(), read.begin(), read.end());
        const auto frames = FeedModbus(framer, {{1000, noisy}, {90000, read}});
        ASSERT_FALSE(frames.empty()) << int(noise);
        EXPECT_EQ(frames.back(), read) << int(noise);
        for (std::size_t i = 0; i + 1 < frames.size(); ++i) EXPECT_NE(frames[i], read) << int(noise);
    }
}

TEST(SimBootFramer, UnstuffsAndResynchronises) {
    struct Case {
        const char* name;
        Bytes wire;
        std::vector<Bytes> payloads;
        std::uint32_t spoiled;
    };
    const std::vector<Case> cases = {
        {"worked example", {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03}, {{0x00, 0x02, 0xFE}}, 0},
        {"doubled DLE", {0x10, 0x02, 0x10, 0x10, 0x03, 0x10, 0x03}, {{0x10, 0x03}}, 0},
        {"noise before", {0x55, 0x03, 0x10, 0x10, 0x02, 0x01, 0x10, 0x03}, {{0x01}}, 0},
        {"DLE STX inside restarts", {0x10, 0x02, 0x07, 0x10, 0x02, 0x08, 0x10, 0x03}, {{0x08}}, 1},
        {"bad escape spoils",
         {0x10, 0x02, 0x07, 0x10, 0x55, 0x08, 0x10, 0x03, 0x10, 0x02, 0x09, 0x10, 0x03},
         {{0x09}},
         1},
        {"ETX outside a frame", {0x10, 0x03, 0x10, 0x02, 0x09, 0x10, 0x03}, {{0x09}}, 0},
    };
    for (const Case& c : cases) {
        TSimBootFramer framer;
        EXPECT_EQ(FeedBoot(framer, c.wire), c.payloads) << c.name;
        EXPECT_EQ(framer.Spoiled(), c.spoiled) << c.name;
    }
}

TEST(SimBootFramer, OverlongPayloadIsDropped) {
    TSimBootFramer framer;
    Bytes wire{0x10, 0x02};
    wire.insert(wire.end(), 1000, 0x55);
    wire.insert(wire.end(), {0x10, 0x03, 0x10, 0x02, 0x01, 0x10, 0x03});
    EXPECT_EQ(FeedBoot(framer, wire), std::vector<Bytes>{{0x01}});
    EXPECT_EQ(framer.Spoiled(), 1u);
}
