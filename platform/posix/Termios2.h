#pragma once

#include <cstdint>

#include "platform/LineSettings.h"

// Line settings of a terminal through the kernel's termios2 interface (TCGETS2/TCSETS2),
// which carries any bit rate (BOTHER), not only the fixed B-codes. The kernel header it
// needs clashes with <termios.h>, so it is reached only through these functions.
// On a pseudo-terminal master they read and write the settings of the slave.

// A pseudo-terminal keeps the rate and the stop bits set on its slave, but always reports
// 8 data bits without parity: the kernel's pty driver forces CS8 and clears PARENB.

// Reads rate, data bits, parity and stop bits of fd. False (errno set) when fd is not a
// terminal or the call fails.
bool Termios2ReadLineSettings(int fd, TLineSettings& settings);

// Puts fd in raw 8-bit mode and applies the settings. Returns the rate in effect afterwards
// as read back from the driver, 0 when it cannot be read.
//
// Raw mode: no canonical input, echo, signals or output processing; no CR/NL translation,
// stripping, parity checking or marking (a byte with a line error is delivered as it came,
// and the reply checksums catch it); software flow control off; receiver on and modem lines
// ignored (CREAD|CLOCAL); VMIN 1 and VTIME 0, so that a non-blocking read of an
// idle line fails with EAGAIN and reads 0 bytes only after a hang-up. Hardware flow control
// and the hang-up-on-close flag stay as the port had them.
//
// Data bits outside 5..8 and unknown parities keep the port's current value. Stop bits:
// the line knows one or "more" (CSTOPB), and a UART makes that 1.5 stop bits at 5 data
// bits and 2 otherwise; sb1_5 and sb2 both set CSTOPB.
// A rate the driver refuses, and rate 0, leave the previous rate and still apply the rest.
std::uint32_t Termios2ApplyLineSettings(int fd, const TLineSettings& settings);

// The control flags (c_cflag) with data bits, parity and stop bits of settings put in,
// the other bits of cflag kept; as Termios2ApplyLineSettings sets them.
std::uint32_t Termios2FramingFlags(std::uint32_t cflag, const TLineSettings& settings);

// Data bits, parity and stop bits as control flags encode them (the rate is left alone).
// CSTOPB reads as sb1_5 at 5 data bits and as sb2 otherwise.
void Termios2DecodeFraming(std::uint32_t cflag, TLineSettings& settings);
