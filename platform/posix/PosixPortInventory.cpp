#include "platform/posix/PosixPortInventory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "platform/PortInventory.h"
#include "platform/PortResolver.h"

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, empty when there is none.
std::string Attribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Where a link leads (its text, made absolute against its directory), and how that target is.
std::string Describe(const fs::path& link, const std::string& sysClassTty, std::string& device) {
    std::error_code error;
    fs::path target = fs::read_symlink(link, error);
    if (error) target = link;
    if (target.is_relative()) target = (link.parent_path() / target).lexically_normal();
    device = target.string();
    std::string text = device;
    if (!fs::exists(target, error)) return text + "  (missing)";
    const std::string usb =
        TPosixPortInventory::UsbDetails(fs::weakly_canonical(target, error).string(), sysClassTty);
    if (!usb.empty()) text += "  (" + usb + ")";
    return text;
}

}  // namespace

std::string TPosixPortInventory::UsbDetails(const std::string& devicePath, const std::string& sysClassTty) {
    std::error_code error;
    const fs::path tty = fs::path(sysClassTty) / fs::path(devicePath).filename() / "device";
    fs::path at = fs::canonical(tty, error);
    if (error) return {};
    // Up from the tty's device to the USB device, the one with the vendor number.
    for (int hops = 0; hops < 8 && !at.empty() && at != at.root_path(); ++hops, at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", error)) continue;
        std::string text = "USB " + Attribute(at / "idVendor") + ":" + Attribute(at / "idProduct");
        for (const char* name : {"manufacturer", "product"})
            if (const std::string value = Attribute(at / name); !value.empty()) text += " " + value;
        if (const std::string serial = Attribute(at / "serial"); !serial.empty())
            text += ", serial " + serial;
        return text;
    }
    return {};
}

std::string TPosixPortInventory::List(const std::string& portsDirectory, const std::string& byIdDirectory,
                                      const std::string& sysClassTty) {
    std::string out = "Ports directory " + portsDirectory + ":\n";
    std::map<unsigned, fs::path> ports;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(portsDirectory, error))
        if (const auto number = TPortResolver::PortNumber(entry.path().filename().string()))
            ports[*number] = entry.path();
    if (ports.empty()) out += "  (no COMn entries)\n";
    for (const auto& [number, link] : ports) {
        std::string device;
        std::string name = "COM" + std::to_string(number);
        name.resize(std::max<std::size_t>(name.size(), 6), ' ');
        out += "  " + name + " -> " + Describe(link, sysClassTty, device) + "\n";
    }
    out += "Serial devices by id (" + byIdDirectory + "):\n";
    std::vector<fs::path> ids;
    for (const auto& entry : fs::directory_iterator(byIdDirectory, error)) ids.push_back(entry.path());
    std::sort(ids.begin(), ids.end());
    if (ids.empty()) out += "  (none)\n";
    for (const fs::path& id : ids) {
        std::string device;
        out += "  " + id.filename().string() + " -> " + Describe(id, sysClassTty, device) + "\n";
    }
    out +=
        "A port without an entry is /dev/ttyS<n-1>; ln -s DEVICE " + portsDirectory + "/COMn gives it one.\n";
    return out;
}

std::string TPortInventory::List(const std::string& baseDirectory) {
    return TPosixPortInventory::List(TPortResolver(baseDirectory).PortsDirectory());
}
