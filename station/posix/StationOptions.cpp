#include "station/StationOptions.h"

#include <sys/stat.h>

#include <filesystem>

#include "cli/StationUsageError.h"
#include "link/LumoComms.h"

std::string TStationOptions::CanonicalDevice(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path p = fs::absolute(path, error);
    if (error) return path;
    // Links are followed by hand, so a dangling one still leads to the path it names.
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, error)); ++hops) {
        const fs::path target = fs::read_symlink(p, error);
        if (error) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    const fs::path canonical = fs::weakly_canonical(p, error);
    return error ? p.lexically_normal().string() : canonical.string();
}

void TStationOptions::ResolveDevices(const TPortResolver& resolver) {
    struct TIdentity {
        bool Exists = false;
        dev_t Device = 0;
        ino_t Inode = 0;
        std::string Path;
    };
    std::vector<TIdentity> seen;
    for (TUnit& unit : Units) {
        if (unit.Port != 0)
            unit.Device = resolver.Resolve(TLumoComms::PortName(static_cast<TComport>(unit.Port - 1)));
        TIdentity id;
        struct stat info {};
        id.Exists = ::stat(unit.Device.c_str(), &info) == 0;
        id.Device = info.st_dev;
        id.Inode = info.st_ino;
        id.Path = CanonicalDevice(unit.Device);
        // The record names the device itself, not the link in the ports directory.
        if (id.Exists) unit.Device = id.Path;
        for (std::size_t j = 0; j < seen.size(); ++j) {
            const bool same = id.Exists && seen[j].Exists
                                  ? id.Device == seen[j].Device && id.Inode == seen[j].Inode
                                  : id.Path == seen[j].Path;
            if (same)
                throw EStationUsageError(Units[j].Label + " and " + unit.Label + " are the same device (" +
                                         id.Path + ")");
        }
        seen.push_back(id);
    }
}
