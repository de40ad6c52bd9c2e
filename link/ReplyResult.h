#pragma once

#include <cstdint>

// The reply result: the signed integer every request returns. A value n >= 1 is the number
// of the receive condition that completed; the named values below are the rest.
inline constexpr std::int32_t kReplyNormal = 1;     // condition 1: the normal reply
inline constexpr std::int32_t kReplyException = 2;  // condition 2 of a Modbus request: an exception reply
inline constexpr std::int32_t kReplyTimeout = 0;    // no complete reply before the timeout
inline constexpr std::int32_t kReplyInvalid = -1;   // a reply arrived, but its CRC or checksum is wrong
inline constexpr std::int32_t kReplyClosed = -2;    // the port was closed while the request waited

// What the device preparation returns for settings that are not carried across this
// upgrade: no exchange was made.
inline constexpr std::int32_t kReplyNotApplicable = 99;

// What ReadModelNumber returns when no valid reply came: above any 16-bit model number.
inline constexpr std::uint32_t kNoModelNumber = 0xFFFF0000u;
// What ReadBootInfo returns when no valid reply came.
inline constexpr std::uint32_t kNoBootInfo = 0xFFFFFFFFu;
