// The Windows side of TPortInventory: the COM ports the system has made, as the registry's
// SERIALCOMM list names them (device -> COMn), each with the friendly name its device has
// in the Ports class ("USB Serial Port (COM3)"), matched by the device's "PortName" value.
#include <windows.h>
// After windows.h, which they need.
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/PortInventory.h"
#include "platform/PortResolver.h"
#include "platform/win32/WideText.h"

namespace {

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct TPort {
    std::string Name;    // "COM3"
    std::string Device;  // "\Device\VCP0"
};

// Port names compare without regard to case: "com3" is COM3.
std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// A string value of a registry key, empty when it has none.
std::wstring StringValue(HKEY key, const wchar_t* name) {
    wchar_t data[512] = {};
    DWORD type = 0, size = sizeof data - sizeof(wchar_t);
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return std::wstring(data, wcsnlen(data, size / sizeof(wchar_t)));
}

// The SERIALCOMM list: each value names a device, its data the port.
std::vector<TPort> SerialCommPorts() {
    std::vector<TPort> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256] = {};
        DWORD type = 0, size = sizeof data - sizeof(wchar_t);
        const LONG status = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        ports.push_back({Utf8FromWide(std::wstring(data, wcsnlen(data, size / sizeof(wchar_t)))),
                         Utf8FromWide(std::wstring(name, nameLength))});
    }
    ::RegCloseKey(key);
    return ports;
}

// The friendly names of the Ports class's present devices, by port name in upper case.
std::map<std::string, std::string> FriendlyNames() {
    std::map<std::string, std::string> names;
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::wstring port = StringValue(key, L"PortName");
        ::RegCloseKey(key);
        wchar_t friendly[512] = {};
        DWORD type = 0;
        if (port.empty() || !::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, &type,
                                                                 reinterpret_cast<BYTE*>(friendly),
                                                                 sizeof friendly - sizeof(wchar_t), nullptr))
            continue;
        names[Upper(Utf8FromWide(port))] = Utf8FromWide(friendly);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return names;
}

}  // namespace

std::string TPortInventory::List(const std::string&) {
    std::vector<TPort> ports = SerialCommPorts();
    // By number (COM2 before COM10), a name that is no COMn after them.
    auto order = [](const TPort& port) {
        const auto number = TPortResolver::PortNumber(port.Name);
        return std::make_tuple(!number, number.value_or(0), port.Name);
    };
    std::sort(ports.begin(), ports.end(),
              [&](const TPort& a, const TPort& b) { return order(a) < order(b); });
    const std::map<std::string, std::string> friendly = FriendlyNames();
    std::string out = "Serial ports (HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM):\n";
    if (ports.empty()) out += "  (none)\n";
    for (const TPort& port : ports) {
        std::string name = port.Name;
        name.resize(std::max<std::size_t>(name.size(), 6), ' ');
        out += "  " + name + " -> " + port.Device;
        if (const auto found = friendly.find(Upper(port.Name)); found != friendly.end())
            out += "  (" + found->second + ")";
        out += "\n";
    }
    out += "--port N opens COMN; --ports takes a list of those numbers.\n";
    return out;
}
