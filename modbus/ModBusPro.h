#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "link/LumoComms.h"
#include "link/ReplyResult.h"

// Modbus RTU master: the CRC and the three register transactions the updater uses.
//
// Every transaction is one blocking request/reply exchange over the link. It returns
// a reply result (link/ReplyResult.h):
//   kReplyNormal     the normal reply arrived (a read's CRC was correct and its values decoded)
//   kReplyException  an exception reply arrived (its code is not interpreted; nothing decoded)
//   kReplyTimeout    no complete reply before the timeout
//   kReplyInvalid    read only: a normal reply arrived but it is not a valid frame (bad CRC,
//                    or a length that disagrees with its byte count, as when bytes arrived
//                    behind it); values are left untouched
//   kReplyClosed     the port was closed while the transaction waited
// When the port is not open at all the transaction returns the link's state at once.
// A request that cannot be built honestly (a count above kModbusMaxRegisters, or fewer
// values than the count) is not sent: the transaction returns kReplyTimeout at once, as for a request
// that got no reply. The client raises nothing of its own.
//
// Register addresses, counts and values travel high byte first, the CRC low byte first.
// A write's echo is not compared with the request and its CRC is not tested.

// The largest register count a request may carry: the byte count of the write-multiple
// request and of the read reply is one byte, so 2 x count must fit in it.
inline constexpr std::uint16_t kModbusMaxRegisters = 127;

// CRC-16/MODBUS of data[first .. last] (inclusive), returned with its two bytes exchanged:
// the CRC's low byte is in the high half. Storing the result high half first therefore
// puts the CRC low byte first, as the frames carry it. 0xFFFF (and no byte read) when
// last < first.
std::uint16_t ModbusCrc16(const std::uint8_t* data, std::uint16_t first, std::uint16_t last);

// Request frames, CRC included. The write-register frame serves functions 6 and 103,
// the write-registers frame the write-multiple layout (function 104).
// Empty when count exceeds kModbusMaxRegisters, and for the write-registers frame also
// when values holds fewer than count entries.
std::vector<std::uint8_t> ModbusReadFrame(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                                          std::uint16_t count);
std::vector<std::uint8_t> ModbusWriteRegisterFrame(std::uint8_t slave, std::uint8_t function,
                                                   std::uint16_t reg, std::uint16_t value);
std::vector<std::uint8_t> ModbusWriteRegistersFrame(std::uint8_t slave, std::uint8_t function,
                                                    std::uint16_t reg, std::uint16_t count,
                                                    std::span<const std::uint16_t> values);

// Reads count holding registers from reg on. On kReplyNormal, values receive the decoded
// registers: as many as the reply's byte count carries, but never more than values holds.
// kReplyTimeout without sending when count exceeds kModbusMaxRegisters.
std::int32_t ModbusReadRegisters(TLumoComms& link, std::uint8_t slave, std::uint8_t function,
                                 std::uint16_t reg, std::uint16_t count, std::uint16_t timeoutTicks,
                                 std::span<std::uint16_t> values);

// Writes one register (functions 6 and 103).
std::int32_t ModbusWriteRegister(TLumoComms& link, std::uint8_t slave, std::uint8_t function,
                                 std::uint16_t reg, std::uint16_t value, std::uint16_t timeoutTicks);

// Writes count registers from reg on, taking exactly the first count entries of values.
// kReplyTimeout without sending when values holds fewer than count entries or count exceeds
// kModbusMaxRegisters: the request would otherwise carry values the caller never gave, or
// a byte count that wrapped.
std::int32_t ModbusWriteRegisters(TLumoComms& link, std::uint8_t slave, std::uint8_t function,
                                  std::uint16_t reg, std::uint16_t count,
                                  std::span<const std::uint16_t> values, std::uint16_t timeoutTicks);
