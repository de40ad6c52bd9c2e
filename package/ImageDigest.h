#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/FirmwareImage.h"

// SHA-256 of a run of bytes, as 64 lower-case hexadecimal digits, the same as sha256sum
// prints for a file of those bytes.
std::string Sha256Hex(const std::uint8_t* data, std::size_t length);

// Which image a package holds: the SHA-256 of its 64 KiB image buffer, the bytes as they go
// into a unit. For the embedded image it is the digest of the image file the build embedded
// (package-info --dump-image writes those bytes).
std::string ImageSha256(const FirmwareImage& package);
