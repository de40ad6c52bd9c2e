#pragma once

#include <cstdint>

// Stop bits and parity of a serial line; the ordinals are those the link's
// published properties use.
enum class TStopBits : std::uint8_t { sb1 = 0, sb1_5 = 1, sb2 = 2 };
enum class TParity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

struct TLineSettings {
    std::uint32_t BaudRate = 9600;
    std::uint8_t DataBits = 8;
    TStopBits StopBits = TStopBits::sb1;
    TParity Parity = TParity::None;
};
