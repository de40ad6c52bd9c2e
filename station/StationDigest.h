#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 of a run of bytes, as 64 lower-case hexadecimal digits: what the report records of
// the image that went into a unit, the same as sha256sum prints for the image file.
std::string Sha256Hex(const std::uint8_t* data, std::size_t length);
