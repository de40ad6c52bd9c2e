#include <sys/stat.h>

#include "platform/PortResolver.h"

std::string TPortResolver::Resolve(const std::string& portName) const {
    const std::optional<unsigned> number = PortNumber(portName);
    if (!number) return {};
    std::string entry = PortsDirectory();
    if (entry.back() != '/') entry += '/';
    entry += "COM" + std::to_string(*number);
    // lstat, not stat: a dangling link is still the entry, and names a missing port.
    struct stat info {};
    if (::lstat(entry.c_str(), &info) == 0) return entry;
    return "/dev/ttyS" + std::to_string(*number - 1);
}
