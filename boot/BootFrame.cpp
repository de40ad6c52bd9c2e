#include "boot/BootFrame.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "link/AttachedConditions.h"
#include "link/RxCondition.h"

std::uint8_t BootChecksum(const std::uint8_t* bytes, int first, int last) {
    std::uint8_t sum = 0;
    for (int i = first; i <= last; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return sum;
}

std::vector<std::uint8_t> BuildBootFrame(std::uint8_t command, std::uint8_t count, const std::uint8_t* data,
                                         std::uint8_t dataLength) {
    std::vector<std::uint8_t> payload;
    payload.reserve(3u + dataLength);
    payload.push_back(command);
    payload.push_back(count);
    if (dataLength > 0) payload.insert(payload.end(), data, data + dataLength);
    // Two's complement of the sum, so that the whole payload sums to 0.
    payload.push_back(
        static_cast<std::uint8_t>(-BootChecksum(payload.data(), 0, static_cast<int>(payload.size()) - 1)));

    // Every 0x10 of the payload, the checksum included, is doubled so that the receiver
    // never takes a data byte for the DLE of a closing DLE ETX.
    std::vector<std::uint8_t> frame;
    frame.reserve(2 * payload.size() + 4);
    frame.push_back(kBootDle);
    frame.push_back(kBootStx);
    for (std::uint8_t b : payload) {
        frame.push_back(b);
        if (b == kBootDle) frame.push_back(kBootDle);
    }
    frame.push_back(kBootDle);
    frame.push_back(kBootEtx);
    return frame;
}

std::int32_t DecodeBootReply(const std::uint8_t* frame, std::size_t length, std::uint8_t count,
                             std::uint8_t* reply) {
    // The frame must open with DLE STX and close with DLE ETX as its last two bytes; in
    // between, a DLE only ever doubles a 0x10. Any other DLE pair (a second frame, bytes
    // behind the closing DLE ETX) or a DLE as the very last byte makes the frame invalid.
    if (length < 4 || frame[0] != kBootDle || frame[1] != kBootStx || frame[length - 2] != kBootDle ||
        frame[length - 1] != kBootEtx)
        return kReplyInvalid;
    // Unstuff the payload between them: u holds STX, payload, ETX.
    std::vector<std::uint8_t> u;
    u.reserve(length);
    u.push_back(kBootStx);
    const std::size_t payloadEnd = length - 2;
    for (std::size_t i = 2; i < payloadEnd; ++i) {
        if (frame[i] == kBootDle) {
            if (i + 1 >= payloadEnd || frame[i + 1] != kBootDle) return kReplyInvalid;
            ++i;
        }
        u.push_back(frame[i]);
    }
    u.push_back(kBootEtx);
    const std::size_t n = u.size();
    // Every byte between STX and ETX: two header bytes, the data, the checksum.
    if (BootChecksum(u.data(), 1, static_cast<int>(n) - 2) != 0) return kReplyInvalid;
    if (reply != nullptr) {
        const std::size_t carried = n >= 5 ? n - 5 : 0;
        const std::size_t taken = std::min<std::size_t>(count, carried);
        if (taken > 0) std::memcpy(reply, u.data() + 3, taken);
        std::fill(reply + taken, reply + count, std::uint8_t{0});
    }
    return kReplyNormal;
}

std::int32_t SendBootCommand(TLumoComms& link, std::uint8_t command, std::uint8_t count,
                             const std::uint8_t* data, std::uint8_t dataLength, std::uint16_t timeoutTicks,
                             std::uint8_t* reply) {
    const std::vector<std::uint8_t> frame = BuildBootFrame(command, count, data, dataLength);

    // A reply is DLE STX, at least one byte, DLE ETX. Sequence matching restarts on a
    // mismatch, so a stuffed 10 10 followed by a data byte 03 is never taken for the end.
    static constexpr std::uint8_t kStart[] = {kBootDle, kBootStx};
    static constexpr std::uint8_t kEnd[] = {kBootDle, kBootEtx};
    TRxCondition list;
    list.Clear();
    list.AddCondition(2, kStart, true, 2, kEnd, true, 0, 1, 0);
    TAttachedConditions attached(link, list);

    // The result of Send is not examined: a failed send ends in the wait, by timeout or
    // by the port closing.
    link.Send(frame.data(), static_cast<std::uint16_t>(frame.size()), timeoutTicks);
    std::int32_t result = link.WaitReply();
    if (result == kReplyNormal) {
        // From the DLE before the STX through the last byte received; noise before the
        // DLE is not copied.
        std::array<std::uint8_t, kBootReplyMaxLength + 1> copied{};
        const std::uint16_t length = link.ReadReply(1, copied.data(), kBootReplyMaxLength, 1, -1, -1);
        result = DecodeBootReply(copied.data(), std::min(length, kBootReplyMaxLength), count, reply);
    }
    return result;
}
