#pragma once

#include <array>
#include <cstdint>
#include <memory>

// One receive condition: what a complete reply looks like on a byte stream without a
// length prefix. An optional start pattern, an optional end pattern (each at most 5 bytes,
// matched as a consecutive sequence or as a set of single bytes), and minimum byte counts
// before the start, between start and end, and after the end. Counters are 16-bit and wrap.
class TRxConditionItem {
public:
    std::uint8_t StartStr[6] = {};  // NUL-terminated
    bool StartIsSequence = false;
    std::uint8_t EndStr[6] = {};  // NUL-terminated
    bool EndIsSequence = false;
    bool StartMatched = false;
    bool EndMatched = false;
    std::uint16_t MinBefore = 0;
    std::uint16_t MinBetween = 0;
    std::uint16_t MinAfter = 0;
    std::uint16_t CountBetween = 0;
    std::uint16_t StartLen = 0;
    std::uint16_t StartIndex = 0;
    std::uint16_t EndLen = 0;
    std::uint16_t EndIndex = 0;
    std::uint16_t CountBefore = 0;
    std::uint16_t CountAfter = 0;

    // Offers one received byte; true when both patterns have matched after it.
    bool MatchByte(std::uint8_t b);
    // Counts one received byte without pattern matching.
    void Advance();
    // Back to looking for the start; patterns and minimums stay.
    void Reset();
    bool IsComplete() const;
};

// A request's list of acceptable replies: at most 10 conditions, numbered from 1 in the
// order they were added. Owns its items.
class TRxCondition {
public:
    static constexpr int kMaxConditions = 10;
    // What MatchAll and FindComplete return when no condition qualifies.
    static constexpr int kNone = -1;

    // Lengths are clamped to 5; a pattern is copied up to its first zero byte.
    // An eleventh condition is ignored.
    void AddCondition(std::uint16_t StartLen, const std::uint8_t* StartStr, bool StartIsSequence,
                      std::uint16_t EndLen, const std::uint8_t* EndStr, bool EndIsSequence,
                      std::uint16_t MinBefore, std::uint16_t MinBetween, std::uint16_t MinAfter);
    void Clear();
    // 0-based index of the first item whose MatchByte returned true, or kNone.
    int MatchAll(std::uint8_t b);
    void AdvanceAll();
    void ResetAll();
    // n is a condition number (1-based).
    bool IsComplete(int n) const;
    // Lowest complete condition number, or kNone.
    int FindComplete() const;
    // The item with condition number n, or nullptr.
    TRxConditionItem* GetItem(int n) const;
    int Count() const { return count_; }

private:
    std::array<std::unique_ptr<TRxConditionItem>, kMaxConditions> items_;
    std::uint16_t count_ = 0;
};
