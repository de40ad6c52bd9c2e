// Received bytes through the receive conditions and the link engine, then ReadReply with
// any arguments: the copy stays within maxLen and the destination, ends with a zero and
// holds only bytes that were received since the request.
#include <algorithm>

#include "fuzz/FuzzInput.h"
#include "fuzz/ScriptedLink.h"
#include "link/RxCondition.h"

namespace {

constexpr std::uint8_t kCanary = 0xA5;
constexpr std::size_t kGuard = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFuzzInput in(data, size);
    const auto rxSize = static_cast<std::uint16_t>(in.Between(1, 600));
    TScriptedLink scripted(rxSize);
    TLumoComms& link = scripted.Link();

    TRxCondition conditions;
    conditions.Clear();
    const int count = in.Between(0, 11);  // an eleventh is dropped
    for (int i = 0; i < count; ++i) {
        const auto startLen = static_cast<std::uint16_t>(in.Between(0, 7));
        const auto start = in.Bytes(startLen);
        const bool startSeq = in.Flag();
        const auto endLen = static_cast<std::uint16_t>(in.Between(0, 7));
        const auto end = in.Bytes(endLen);
        const bool endSeq = in.Flag();
        // The pattern arguments may be shorter than their length says: the copy stops at 5
        // and at a zero byte, so they are padded with zeros to what AddCondition may read.
        std::uint8_t startBuf[8] = {}, endBuf[8] = {};
        std::copy(start.begin(), start.end(), startBuf);
        std::copy(end.begin(), end.end(), endBuf);
        conditions.AddCondition(startLen, startBuf, startSeq, endLen, endBuf, endSeq, in.Word(), in.Word(),
                                in.Word());
    }
    link.SetConditions(&conditions);
    link.ResetConditions();
    const std::uint8_t request[] = {1, 2, 3};
    link.Send(request, sizeof request, 30);

    // The rest arrives in chunks of the sizes the input chooses.
    std::size_t received = 0;
    const int reads = in.Between(0, 4);
    std::vector<std::vector<std::uint8_t>> calls;
    for (int r = 0; r < reads; ++r) calls.push_back({static_cast<std::uint8_t>(in.Between(-1, 12) & 0xFF)});
    const std::vector<std::uint8_t> payload = in.Rest();
    for (std::size_t at = 0; at < payload.size();) {
        const std::size_t n = std::min<std::size_t>(payload.size() - at, 1 + payload[at] % 64);
        link.ProcessReceived(payload.data() + at, static_cast<std::uint16_t>(n));
        at += n;
        received += n;
    }
    const int complete = link.FindComplete();
    FUZZ_CHECK(complete == -1 || (complete >= 1 && complete <= std::min(count, 10)));
    FUZZ_CHECK(link.WritePos() < rxSize);

    // ReadReply with arguments drawn from the payload, including ones no caller uses.
    for (std::size_t r = 0; r < calls.size(); ++r) {
        const std::uint8_t seed =
            static_cast<std::uint8_t>(r * 37 + (payload.empty() ? 0 : payload[r % payload.size()]));
        const int n = static_cast<std::int8_t>(calls[r][0]);
        const auto maxLen = static_cast<std::uint16_t>((seed * 7) % 700);
        const int pre = static_cast<int>(seed % 9) - 3;
        const int mid = static_cast<int>((seed / 3) % 11) - 4;
        const int tail = static_cast<int>((seed / 5) % 13) - 5;
        std::vector<std::uint8_t> dst(kGuard + maxLen + 1 + kGuard, kCanary);
        const std::uint16_t copied = link.ReadReply(n, dst.data() + kGuard, maxLen, pre, mid, tail);
        FUZZ_CHECK(copied <= maxLen);
        // A positive mid may run into the end region, which the tail phase then copies
        // again; otherwise no received byte is copied twice.
        if (mid <= 0) FUZZ_CHECK(copied <= std::min<std::size_t>(received, rxSize));
        FUZZ_CHECK(dst[kGuard + copied] == 0);
        for (std::size_t g = 0; g < kGuard; ++g) FUZZ_CHECK(dst[g] == kCanary);
        for (std::size_t g = kGuard + copied + 1; g < dst.size(); ++g) FUZZ_CHECK(dst[g] == kCanary);
    }
    link.ClearConditions();
    return 0;
}
