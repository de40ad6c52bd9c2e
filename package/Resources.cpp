#include "package/Resources.h"

#include "package/ResourceError.h"

std::span<const std::uint8_t> FindResource(const std::string& name) {
    for (const TResourceBlock& block : PackageResources())
        if (name == block.Name) return block.Data;
    throw EResourceError("Resource " + name + " not found");
}
