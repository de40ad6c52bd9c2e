#include "modbus/ModBusPro.h"

#include <algorithm>

#include "link/AttachedConditions.h"
#include "link/RxCondition.h"

namespace {

// The result of a request that was not sent because it cannot be built: like a request
// that got no reply, a failure to every caller.
// A request that is not sent reports what a request without a reply does.
constexpr std::int32_t kNotSent = kReplyTimeout;

void PutWord(std::vector<std::uint8_t>& frame, std::uint16_t word) {
    frame.push_back(static_cast<std::uint8_t>(word >> 8));
    frame.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

// Appends the CRC of everything in the frame so far, low byte first.
void AppendCrc(std::vector<std::uint8_t>& frame) {
    PutWord(frame, ModbusCrc16(frame.data(), 0, static_cast<std::uint16_t>(frame.size() - 1)));
}

std::vector<std::uint8_t> AddressFrame(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                                       std::uint16_t word) {
    std::vector<std::uint8_t> frame;
    frame.reserve(8);
    frame.push_back(slave);
    frame.push_back(function);
    PutWord(frame, reg);
    PutWord(frame, word);
    AppendCrc(frame);
    return frame;
}

// The two replies every transaction accepts. Both patterns are one-byte sets; the byte that
// completes the end pattern (the function byte) is counted in CountAfter, so each minimum
// after the end counts the function byte and everything behind it, and each condition
// completes on the last byte of its reply.
//   1: normal reply, slave then function, then normalAfter bytes counting the function byte
//   2: exception reply, slave then function | 0x80, code, CRC low, CRC high
void AddReplyConditions(TRxCondition& list, std::uint8_t slave, std::uint8_t function,
                        std::uint16_t normalAfter) {
    const std::uint8_t start[1] = {slave};
    const std::uint8_t normalEnd[1] = {function};
    const std::uint8_t exceptionEnd[1] = {static_cast<std::uint8_t>(function | 0x80)};
    list.Clear();
    list.AddCondition(1, start, false, 1, normalEnd, false, 0, 1, normalAfter);
    list.AddCondition(1, start, false, 1, exceptionEnd, false, 0, 1, 4);
}

// Sends the frame and waits for one of the attached replies. The result of Send is not
// examined: a failed send ends in the wait, by timeout or by the port closing. The frame
// is never empty here.
std::int32_t Exchange(TLumoComms& link, const std::vector<std::uint8_t>& frame, std::uint16_t timeoutTicks) {
    link.Send(frame.data(), static_cast<std::uint16_t>(frame.size()), timeoutTicks);
    return link.WaitReply();
}

// Checks a copied read reply (slave, function, byte count, data, CRC low, CRC high) and
// decodes its registers into values. Returns kReplyNormal, or kReplyInvalid when the frame is
// not valid.
std::int32_t DecodeReadReply(const std::uint8_t* reply, std::uint16_t length,
                             std::span<std::uint16_t> values) {
    // Shortest read reply: slave, function, byte count, two CRC bytes.
    if (length < 5) return kReplyInvalid;
    // The last two copied bytes must be the CRC of everything before them; bytes received
    // behind the reply are copied with it and normally make this fail.
    const std::uint16_t crc = ModbusCrc16(reply, 0, static_cast<std::uint16_t>(length - 3));
    if (crc != static_cast<std::uint16_t>(reply[length - 2] << 8 | reply[length - 1])) return kReplyInvalid;
    // The frame's length must agree with its byte count. The CRC check alone lets bytes
    // behind the reply pass in one case: a 0x00 behind a reply makes the last two bytes the
    // CRC of everything before them again.
    if (length != 5u + reply[2]) return kReplyInvalid;
    // The byte count, not the requested count, says how many registers the reply carries;
    // no more than the caller has room for are decoded.
    const std::size_t decoded = std::min<std::size_t>(reply[2] / 2u, values.size());
    for (std::size_t i = 0; i < decoded; ++i)
        values[i] = static_cast<std::uint16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
    return kReplyNormal;
}

}  // namespace

std::uint16_t ModbusCrc16(const std::uint8_t* data, std::uint16_t first, std::uint16_t last) {
    std::uint16_t crc = 0xFFFF;
    if (last < first) return crc;
    for (std::uint32_t i = first; i <= last; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return static_cast<std::uint16_t>(crc << 8 | crc >> 8);
}

std::vector<std::uint8_t> ModbusReadFrame(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                                          std::uint16_t count) {
    if (count > kModbusMaxRegisters) return {};
    return AddressFrame(slave, function, reg, count);
}

std::vector<std::uint8_t> ModbusWriteRegisterFrame(std::uint8_t slave, std::uint8_t function,
                                                   std::uint16_t reg, std::uint16_t value) {
    return AddressFrame(slave, function, reg, value);
}

std::vector<std::uint8_t> ModbusWriteRegistersFrame(std::uint8_t slave, std::uint8_t function,
                                                    std::uint16_t reg, std::uint16_t count,
                                                    std::span<const std::uint16_t> values) {
    if (count > kModbusMaxRegisters || values.size() < count) return {};
    std::vector<std::uint8_t> frame;
    frame.reserve(9 + 2u * count);
    frame.push_back(slave);
    frame.push_back(function);
    PutWord(frame, reg);
    PutWord(frame, count);
    frame.push_back(static_cast<std::uint8_t>(2 * count));
    for (std::uint16_t i = 0; i < count; ++i) PutWord(frame, values[i]);
    AppendCrc(frame);
    return frame;
}

std::int32_t ModbusReadRegisters(TLumoComms& link, std::uint8_t slave, std::uint8_t function,
                                 std::uint16_t reg, std::uint16_t count, std::uint16_t timeoutTicks,
                                 std::span<std::uint16_t> values) {
    const std::vector<std::uint8_t> frame = ModbusReadFrame(slave, function, reg, count);
    if (frame.empty()) return kNotSent;
    TRxCondition list;
    // Function byte, byte count, 2 x count data bytes, two CRC bytes.
    AddReplyConditions(list, slave, function, static_cast<std::uint16_t>(2 * count + 4));
    TAttachedConditions attached(link, list);
    std::int32_t result = Exchange(link, frame, timeoutTicks);
    if (result == kReplyNormal) {
        // From the slave address byte through the last byte received; noise before the
        // address is not copied. The link never copies more than maxLen bytes plus a zero.
        const std::uint16_t maxLen = link.RxBufferSize;
        std::vector<std::uint8_t> reply(static_cast<std::size_t>(maxLen) + 1, 0);
        const std::uint16_t length = link.ReadReply(1, reply.data(), maxLen, 0, -1, -1);
        result = DecodeReadReply(reply.data(), std::min(length, maxLen), values);
    }
    return result;
}

std::int32_t ModbusWriteRegister(TLumoComms& link, std::uint8_t slave, std::uint8_t function,
                                 std::uint16_t reg, std::uint16_t value, std::uint16_t timeoutTicks) {
    const std::vector<std::uint8_t> frame = ModbusWriteRegisterFrame(slave, function, reg, value);
    TRxCondition list;
    // Function byte and the six bytes of the echo (register, value, CRC).
    AddReplyConditions(list, slave, function, 7);
    TAttachedConditions attached(link, list);
    return Exchange(link, frame, timeoutTicks);
}

std::int32_t ModbusWriteRegisters(TLumoComms& link, std::uint8_t slave, std::uint8_t function,
                                  std::uint16_t reg, std::uint16_t count,
                                  std::span<const std::uint16_t> values, std::uint16_t timeoutTicks) {
    const std::vector<std::uint8_t> frame = ModbusWriteRegistersFrame(slave, function, reg, count, values);
    if (frame.empty()) return kNotSent;
    TRxCondition list;
    // Function byte and the six bytes of the echo (register, count, CRC).
    AddReplyConditions(list, slave, function, 7);
    TAttachedConditions attached(link, list);
    return Exchange(link, frame, timeoutTicks);
}
