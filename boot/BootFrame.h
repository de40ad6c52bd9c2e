#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/LumoComms.h"
#include "link/ReplyResult.h"

// The boot loader's framed command/response protocol.
//
// A frame on the wire is DLE STX, the payload with every 0x10 byte sent twice, DLE ETX.
// Request payload: command, count, data, checksum. Reply payload: two header bytes, the
// reply data, checksum. In both, the checksum makes the 8-bit sum of the whole payload 0.

inline constexpr std::uint8_t kBootDle = 0x10;
inline constexpr std::uint8_t kBootStx = 0x02;
inline constexpr std::uint8_t kBootEtx = 0x03;

// The most bytes of a reply frame that are copied out of the link (leading DLE included).
// A longer reply is not a valid frame.
inline constexpr std::uint16_t kBootReplyMaxLength = 200;

// 8-bit sum of bytes[first .. last]; 0 when last < first.
std::uint8_t BootChecksum(const std::uint8_t* bytes, int first, int last);

// The stuffed request frame for command, count and dataLength bytes of data
// (data may be null when dataLength is 0).
std::vector<std::uint8_t> BuildBootFrame(std::uint8_t command, std::uint8_t count, const std::uint8_t* data,
                                         std::uint8_t dataLength);

// Checks a received reply frame (from its leading DLE through the last byte received) and
// takes its data. The frame must open with DLE STX, close with DLE ETX as its last two
// bytes, contain no other DLE than the doubling of 0x10 bytes, and its payload must sum
// to 0; bytes received behind the closing DLE ETX therefore make it invalid. On success
// writes count bytes to reply (null: discarded): the reply data after the two header
// bytes, and 0 for the positions the reply does not carry; returns kReplyNormal. Otherwise
// leaves reply untouched and returns kReplyInvalid. Reads only frame[0 .. length - 1].
std::int32_t DecodeBootReply(const std::uint8_t* frame, std::size_t length, std::uint8_t count,
                             std::uint8_t* reply);

// One complete exchange with the boot loader: sends the command and waits for a framed
// reply for up to timeoutTicks ticks of 100 ms. Result: kReplyNormal reply received and
// valid (reply filled with count bytes as DecodeBootReply says); kReplyInvalid reply received
// but not valid (reply untouched); kReplyTimeout; kReplyClosed link closed during the wait.
// When the port is not open the link's state is returned at once.
std::int32_t SendBootCommand(TLumoComms& link, std::uint8_t command, std::uint8_t count,
                             const std::uint8_t* data, std::uint8_t dataLength, std::uint16_t timeoutTicks,
                             std::uint8_t* reply);
