#pragma once

#include <cstdint>
#include <string>

// A version held as major * 100 + minor, as text: 112 -> "1.12", 105 -> "1.05", 1000 -> "10.00".
std::string FormatVersion(std::uint16_t version);
