#include "package/FormatVersion.h"

#include <cstdio>

std::string FormatVersion(std::uint16_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%.2d", version / 100, version % 100);
    return text;
}
