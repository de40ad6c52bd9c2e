// The package resources on Windows: named RCDATA resources of the running executable,
// which the build made with package-embed --rc-output.
#include <windows.h>

#include <vector>

#include "package/Resources.h"

namespace {

std::vector<TResourceBlock> FindPackageBlocks() {
    std::vector<TResourceBlock> blocks;
    const HMODULE module = ::GetModuleHandleW(nullptr);
    for (const char* name : {"HFile", "PROC_NUM", "VX_NUM", "FW_VER"}) {
        const HRSRC found = ::FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
        if (found == nullptr) continue;                                           // "Resource ... not found"
        const HGLOBAL loaded = ::LoadResource(module, found);
        const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        if (bytes == nullptr) continue;
        blocks.push_back({name, {static_cast<const std::uint8_t*>(bytes), ::SizeofResource(module, found)}});
    }
    return blocks;
}

}  // namespace

std::span<const TResourceBlock> PackageResources() {
    // A module's resources stay mapped while it is loaded: found once, kept for good.
    static const std::vector<TResourceBlock> blocks = FindPackageBlocks();
    return blocks;
}
