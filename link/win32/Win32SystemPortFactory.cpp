#include "link/SystemPortFactory.h"
#include "link/win32/Win32PortFactory.h"

std::shared_ptr<TPortFactory> MakeSystemPortFactory(const std::string&) {
    return std::make_shared<TWin32PortFactory>();
}
