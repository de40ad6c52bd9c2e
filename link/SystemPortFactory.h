#pragma once

#include <memory>
#include <string>

#include "link/PortFactory.h"

// The real serial ports of the platform the program was built for: on Linux COMn resolved
// through the ports directory in baseDirectory (TPosixPortFactory), on Windows the
// system's own COM ports (TWin32PortFactory).
std::shared_ptr<TPortFactory> MakeSystemPortFactory(const std::string& baseDirectory);
