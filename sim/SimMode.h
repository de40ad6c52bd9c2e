#pragma once

#include <cstdint>

// What a unit is running: its application (a Modbus RTU slave) or its boot loader.
enum class TSimMode : std::uint8_t { Application, BootLoader };
