#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/RxCondition.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Counters {
    bool StartMatched;
    bool EndMatched;
    std::uint16_t CountBefore;
    std::uint16_t CountBetween;
    std::uint16_t CountAfter;
};

void ExpectCounters(const TRxConditionItem& item, const Counters& want, const char* where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(item.StartMatched, want.StartMatched);
    EXPECT_EQ(item.EndMatched, want.EndMatched);
    EXPECT_EQ(item.CountBefore, want.CountBefore);
    EXPECT_EQ(item.CountBetween, want.CountBetween);
    EXPECT_EQ(item.CountAfter, want.CountAfter);
}

// Boot loader reply: start 10 02, end 10 03 (both sequences), at least one byte between.
void AddBootReply(TRxCondition& list) {
    const std::uint8_t start[] = {0x10, 0x02};
    const std::uint8_t end[] = {0x10, 0x03};
    list.AddCondition(2, start, true, 2, end, true, 0, 1, 0);
}

TEST(RxCondition, BootReplyWorkedExampleByteByByte) {
    TRxCondition list;
    AddBootReply(list);
    TRxConditionItem& item = *list.GetItem(1);
    const Bytes reply = {0x10, 0x02, 0x00, 0x02, 0x07, 0xF7, 0x10, 0x03};
    // State after each byte, as the matcher must leave it.
    const Counters after[] = {
        {false, false, 1, 0, 0},  // 10: first start byte, still before the start
        {true, false, 1, 1, 0},   // 02 completes the start and counts as between
        {true, false, 1, 2, 0},  {true, false, 1, 3, 0}, {true, false, 1, 4, 0},
        {true, false, 1, 5, 0},  {true, false, 1, 6, 0},  // 10: end progress 1
        {true, true, 1, 6, 1},                            // 03 completes the end and counts as after
    };
    for (std::size_t i = 0; i < reply.size(); ++i) {
        const bool done = item.MatchByte(reply[i]);
        ExpectCounters(item, after[i], ("byte " + std::to_string(i)).c_str());
        EXPECT_EQ(done, i + 1 == reply.size()) << "byte " << i;
    }
    EXPECT_EQ(item.EndIndex, 2);
    EXPECT_TRUE(list.IsComplete(1));
    EXPECT_EQ(list.FindComplete(), 1);
}

TEST(RxCondition, ModbusWriteReplyCompletesOnEighthByte) {
    TRxCondition list;
    const std::uint8_t slave[] = {0x11};
    const std::uint8_t function[] = {0x06};
    list.AddCondition(1, slave, false, 1, function, false, 0, 1, 7);
    const Bytes reply = {0x11, 0x06, 0x00, 0x01, 0x00, 0x03, 0x9A, 0x9B};
    TRxConditionItem& item = *list.GetItem(1);
    item.MatchByte(reply[0]);
    ExpectCounters(item, {true, false, 0, 1, 0}, "slave byte");
    item.MatchByte(reply[1]);
    ExpectCounters(item, {true, true, 0, 1, 1}, "function byte");
    for (std::size_t i = 2; i < reply.size(); ++i) {
        EXPECT_FALSE(list.IsComplete(1)) << "before byte " << i;
        EXPECT_TRUE(item.MatchByte(reply[i]));
    }
    EXPECT_EQ(item.CountAfter, 7);
    EXPECT_TRUE(list.IsComplete(1));
}

struct StartCase {
    const char* name;
    Bytes pattern;
    bool sequence;
    Bytes input;
    bool startMatched;
    std::uint16_t countBefore;
};

TEST(RxCondition, StartPatternMatchingTable) {
    const StartCase cases[] = {
        // The second 10 resets the progress and is not retried as a first byte.
        {"sequence 10 02 on 10 10 02", {0x10, 0x02}, true, {0x10, 0x10, 0x02}, false, 3},
        {"sequence 10 02 on 10 02", {0x10, 0x02}, true, {0x10, 0x02}, true, 1},
        {"sequence interrupted then restarted", {0x10, 0x02}, true, {0x10, 0x05, 0x10, 0x02}, true, 3},
        {"set matches any member", {0x05, 0x11, 0x22}, false, {0x01, 0x02, 0x22}, true, 2},
        {"set ignores non-members", {0x05, 0x11}, false, {0x01, 0x02, 0x03}, false, 3},
        // A set pattern stops at its first zero byte: a received zero never matches.
        {"set with zero never matches zero", {0x00}, false, {0x00, 0x00}, false, 2},
        {"set cut at its zero byte", {0x07, 0x00, 0x09}, false, {0x09, 0x00, 0x07}, true, 2},
        {"five-byte sequence", {1, 2, 3, 4, 5}, true, {1, 2, 3, 4, 5}, true, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRxCondition list;
        list.AddCondition(static_cast<std::uint16_t>(c.pattern.size()), c.pattern.data(), c.sequence, 1,
                          Bytes{0x55}.data(), false, 0, 0, 0);
        for (std::uint8_t b : c.input) {
            list.MatchAll(b);
        }
        const TRxConditionItem& item = *list.GetItem(1);
        EXPECT_EQ(item.StartMatched, c.startMatched);
        EXPECT_EQ(item.CountBefore, c.countBefore);
    }
}

TEST(RxCondition, PatternsAreStoredUpToTheirFirstZeroAndClampedToFive) {
    TRxCondition list;
    const std::uint8_t zero[] = {0x00};
    const std::uint8_t withZero[] = {0x41, 0x00, 0x43};
    const std::uint8_t longer[] = {1, 2, 3, 4, 5, 6, 7};
    list.AddCondition(1, zero, false, 3, withZero, true, 0, 0, 0);
    list.AddCondition(7, longer, true, 9, longer, false, 0, 0, 0);

    const TRxConditionItem& a = *list.GetItem(1);
    EXPECT_EQ(a.StartLen, 1);
    EXPECT_EQ(a.StartStr[0], 0);
    EXPECT_EQ(a.EndLen, 3);
    EXPECT_EQ(Bytes(a.EndStr, a.EndStr + 6), (Bytes{0x41, 0, 0, 0, 0, 0}));

    const TRxConditionItem& b = *list.GetItem(2);
    EXPECT_EQ(b.StartLen, 5);
    EXPECT_EQ(b.EndLen, 5);
    EXPECT_EQ(Bytes(b.StartStr, b.StartStr + 6), (Bytes{1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(Bytes(b.EndStr, b.EndStr + 6), (Bytes{1, 2, 3, 4, 5, 0}));
}

TEST(RxCondition, EmptyEndMatchesOnTheByteThatCompletesTheStart) {
    TRxCondition list;
    const std::uint8_t start[] = {0xAA, 0xBB};
    list.AddCondition(2, start, true, 0, nullptr, false, 0, 0, 2);
    EXPECT_EQ(list.MatchAll(0xAA), -1);
    EXPECT_EQ(list.MatchAll(0xBB), 0);
    const TRxConditionItem& item = *list.GetItem(1);
    ExpectCounters(item, {true, true, 1, 1, 0}, "start byte");
    list.MatchAll(0x01);
    EXPECT_FALSE(list.IsComplete(1));
    list.MatchAll(0x02);
    EXPECT_TRUE(list.IsComplete(1));
    EXPECT_EQ(item.CountAfter, 2);
}

TEST(RxCondition, ItemWithoutStartPatternNeverMatches) {
    TRxCondition list;
    const std::uint8_t end[] = {0x03};
    list.AddCondition(0, nullptr, false, 1, end, false, 0, 0, 0);
    for (std::uint8_t b : {0x03, 0x00, 0x03}) {
        EXPECT_EQ(list.MatchAll(b), -1);
    }
    EXPECT_EQ(list.GetItem(1)->CountBefore, 3);
    EXPECT_EQ(list.FindComplete(), -1);
}

TEST(RxCondition, EndIsOnlyLookedForAfterMinBetweenBytes) {
    TRxCondition list;
    const std::uint8_t start[] = {0x01};
    const std::uint8_t end[] = {0x09};
    list.AddCondition(1, start, false, 1, end, false, 0, 3, 0);
    // Start byte counts as between (1); the 09 at CountBetween 1 and 2 is not tested.
    for (std::uint8_t b : {0x01, 0x09, 0x09}) {
        EXPECT_EQ(list.MatchAll(b), -1);
    }
    EXPECT_EQ(list.GetItem(1)->CountBetween, 3);
    EXPECT_EQ(list.MatchAll(0x09), 0);
    ExpectCounters(*list.GetItem(1), {true, true, 0, 3, 1}, "end");
}

TEST(RxCondition, MinBeforeHoldsBackCompletion) {
    TRxCondition list;
    const std::uint8_t start[] = {0x01};
    list.AddCondition(1, start, false, 0, nullptr, false, 2, 0, 0);
    list.MatchAll(0x01);
    EXPECT_FALSE(list.IsComplete(1)) << "start after 0 bytes, 2 required";
    list.ResetAll();
    for (std::uint8_t b : {0x05, 0x06, 0x01}) {
        list.MatchAll(b);
    }
    EXPECT_TRUE(list.IsComplete(1));
}

TEST(RxCondition, EarlierItemHidesItsCompletingByteFromLaterItems) {
    TRxCondition list;
    const std::uint8_t same[] = {0x11};
    list.AddCondition(1, same, false, 0, nullptr, false, 0, 0, 0);
    list.AddCondition(1, same, false, 0, nullptr, false, 0, 0, 0);
    EXPECT_EQ(list.MatchAll(0x11), 0);
    const TRxConditionItem& second = *list.GetItem(2);
    EXPECT_FALSE(second.StartMatched);
    EXPECT_EQ(second.CountBefore, 0) << "the later item never saw the byte";
    EXPECT_EQ(list.FindComplete(), 1);
}

TEST(RxCondition, LaterItemMatchesWhenEarlierDoesNotComplete) {
    TRxCondition list;
    const std::uint8_t slave[] = {0x11};
    const std::uint8_t normal[] = {0x03};
    const std::uint8_t exception[] = {0x83};
    list.AddCondition(1, slave, false, 1, normal, false, 0, 1, 4);
    list.AddCondition(1, slave, false, 1, exception, false, 0, 1, 3);
    // 11 starts item 1 (not complete) and then reaches item 2 too.
    EXPECT_EQ(list.MatchAll(0x11), -1);
    EXPECT_TRUE(list.GetItem(2)->StartMatched);
    EXPECT_EQ(list.MatchAll(0x83), 1);
    for (int i = 0; i < 3; ++i) {
        list.AdvanceAll();
    }
    EXPECT_EQ(list.FindComplete(), 2);
    EXPECT_FALSE(list.IsComplete(1));
}

TEST(RxCondition, CountersWrapAt65536) {
    TRxCondition list;
    const std::uint8_t start[] = {0x01};
    list.AddCondition(1, start, false, 0, nullptr, false, 0, 0, 0);
    for (int i = 0; i < 65536 + 3; ++i) {
        list.AdvanceAll();
    }
    EXPECT_EQ(list.GetItem(1)->CountBefore, 3);
    list.GetItem(1)->StartMatched = true;
    list.GetItem(1)->EndMatched = true;
    list.GetItem(1)->CountAfter = 0xFFFF;
    list.AdvanceAll();
    EXPECT_EQ(list.GetItem(1)->CountAfter, 0);
}

TEST(RxCondition, EleventhConditionIsIgnored) {
    TRxCondition list;
    std::uint8_t pattern[1];
    for (int i = 1; i <= 11; ++i) {
        pattern[0] = static_cast<std::uint8_t>(i);
        list.AddCondition(1, pattern, false, 0, nullptr, false, 0, 0, 0);
    }
    EXPECT_EQ(list.Count(), 10);
    EXPECT_EQ(list.GetItem(10)->StartStr[0], 10);
    EXPECT_EQ(list.GetItem(11), nullptr);
    EXPECT_EQ(list.GetItem(0), nullptr);
    EXPECT_EQ(list.MatchAll(11), -1) << "the dropped condition must not match";
    EXPECT_EQ(list.MatchAll(10), 9);
    EXPECT_EQ(list.FindComplete(), 10);
    EXPECT_FALSE(list.IsComplete(11));
}

TEST(RxCondition, ResetAllKeepsPatternsAndMinimums) {
    TRxCondition list;
    AddBootReply(list);
    for (std::uint8_t b : {0x10, 0x02, 0x01, 0x10, 0x03}) {
        list.MatchAll(b);
    }
    ASSERT_EQ(list.FindComplete(), 1);
    list.ResetAll();
    const TRxConditionItem& item = *list.GetItem(1);
    ExpectCounters(item, {false, false, 0, 0, 0}, "after reset");
    EXPECT_EQ(item.StartIndex, 0);
    EXPECT_EQ(item.EndIndex, 0);
    EXPECT_EQ(item.StartLen, 2);
    EXPECT_EQ(item.MinBetween, 1);
    EXPECT_EQ(list.FindComplete(), -1);
    // And it recognises the same reply again.
    int hit = -1;
    for (std::uint8_t b : {0x10, 0x02, 0x01, 0x10, 0x03}) {
        hit = list.MatchAll(b);
    }
    EXPECT_EQ(hit, 0);
}

TEST(RxCondition, CorruptLengthFieldsNeverIndexPastThePattern) {
    TRxConditionItem item;
    item.StartStr[0] = 0x10;
    item.StartLen = 40;  // public field set beyond the stored pattern
    item.StartIsSequence = true;
    item.StartIndex = 5;
    item.MatchByte(0x10);  // must not read StartStr[5..]
    EXPECT_EQ(item.StartIndex, 0);
    EXPECT_FALSE(item.StartMatched);
}

}  // namespace
