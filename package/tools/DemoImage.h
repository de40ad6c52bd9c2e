#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The image a build embeds when it is given none: 65536 bytes, the same on every run.
// Every 128-byte block differs from every other one, and many blocks hold 0x10 bytes
// (single, doubled, and as a block's last byte), so that a transfer of the image exercises
// the byte stuffing of the boot frames.
std::vector<std::uint8_t> MakeDemoImage();
