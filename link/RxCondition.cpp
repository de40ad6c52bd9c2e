#include "link/RxCondition.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kMaxPattern = 5;

// Patterns are kept as NUL-terminated byte strings: copying stops at the first zero byte
// and the rest of the field stays zero. The stated length is kept (clamped), so a pattern
// given as a single zero byte is stored empty with length 1.
std::uint16_t StorePattern(std::uint8_t (&field)[6], std::uint16_t length, const std::uint8_t* source) {
    const std::uint16_t clamped = std::min(length, kMaxPattern);
    std::fill(std::begin(field), std::end(field), std::uint8_t{0});
    if (source != nullptr) {
        for (std::uint16_t i = 0; i < clamped && source[i] != 0; ++i) {
            field[i] = source[i];
        }
    }
    return clamped;
}

// One step of pattern matching. A sequence pattern must arrive in consecutive bytes; a
// mismatch drops the progress and that byte is not retried as a new first byte. A set
// pattern matches any one of its bytes, never a zero byte (the string ends there).
void MatchPattern(const std::uint8_t (&pattern)[6], std::uint16_t length, bool isSequence, std::uint8_t b,
                  std::uint16_t& index, bool& matched) {
    // Lengths are public fields; never index past the stored pattern whatever they hold.
    const std::uint16_t len = std::min(length, kMaxPattern);
    if (isSequence) {
        if (index < len && pattern[index] == b) {
            ++index;
            matched = (index == len);
        } else {
            index = 0;
        }
    } else {
        if (b == 0) {
            return;
        }
        for (std::uint16_t i = 0; i < 6 && pattern[i] != 0; ++i) {
            if (pattern[i] == b) {
                matched = true;
                return;
            }
        }
    }
}

}  // namespace

bool TRxConditionItem::MatchByte(std::uint8_t b) {
    if (StartLen > 0 && !StartMatched) {
        MatchPattern(StartStr, StartLen, StartIsSequence, b, StartIndex, StartMatched);
    } else if (CountBetween >= MinBetween && EndLen > 0 && !EndMatched) {
        // The byte that completed the start never reaches this branch, and the minimum is
        // compared before this byte is counted.
        MatchPattern(EndStr, EndLen, EndIsSequence, b, EndIndex, EndMatched);
    }
    Advance();
    return StartMatched && EndMatched;
}

void TRxConditionItem::Advance() {
    // 16-bit counters wrap at 65536, as the fields are sized.
    if (!StartMatched) {
        ++CountBefore;
    } else if (EndMatched) {
        ++CountAfter;
    } else {
        ++CountBetween;
    }
    if (StartMatched && EndLen == 0) {
        EndMatched = true;
    }
}

void TRxConditionItem::Reset() {
    StartIndex = 0;
    EndIndex = 0;
    CountBefore = 0;
    CountBetween = 0;
    CountAfter = 0;
    StartMatched = false;
    EndMatched = false;
}

bool TRxConditionItem::IsComplete() const {
    return StartMatched && EndMatched && CountBefore >= MinBefore && CountBetween >= MinBetween &&
           CountAfter >= MinAfter;
}

void TRxCondition::AddCondition(std::uint16_t StartLen, const std::uint8_t* StartStr, bool StartIsSequence,
                                std::uint16_t EndLen, const std::uint8_t* EndStr, bool EndIsSequence,
                                std::uint16_t MinBefore, std::uint16_t MinBetween, std::uint16_t MinAfter) {
    if (count_ >= kMaxConditions) {
        return;
    }
    auto item = std::make_unique<TRxConditionItem>();
    item->StartLen = StorePattern(item->StartStr, StartLen, StartStr);
    item->StartIsSequence = StartIsSequence;
    item->EndLen = StorePattern(item->EndStr, EndLen, EndStr);
    item->EndIsSequence = EndIsSequence;
    item->MinBefore = MinBefore;
    item->MinBetween = MinBetween;
    item->MinAfter = MinAfter;
    items_[count_++] = std::move(item);
}

void TRxCondition::Clear() {
    while (count_ > 0) {
        items_[--count_].reset();
    }
}

int TRxCondition::MatchAll(std::uint8_t b) {
    for (int i = 0; i < count_; ++i) {
        if (items_[i]->MatchByte(b)) {
            return i;
        }
    }
    return kNone;
}

void TRxCondition::AdvanceAll() {
    for (int i = 0; i < count_; ++i) {
        items_[i]->Advance();
    }
}

void TRxCondition::ResetAll() {
    for (int i = 0; i < count_; ++i) {
        items_[i]->Reset();
    }
}

bool TRxCondition::IsComplete(int n) const {
    const TRxConditionItem* item = GetItem(n);
    return item != nullptr && item->IsComplete();
}

int TRxCondition::FindComplete() const {
    for (int n = 1; n <= count_; ++n) {
        if (items_[n - 1]->IsComplete()) {
            return n;
        }
    }
    return kNone;
}

TRxConditionItem* TRxCondition::GetItem(int n) const {
    if (n < 1 || n > count_) {
        return nullptr;
    }
    return items_[n - 1].get();
}
