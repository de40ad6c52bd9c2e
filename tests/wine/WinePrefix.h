#pragma once

#include <stdlib.h>

#include <filesystem>

// Points this process's Wine programs at the suite's prefix (made by the wine_prefix_start
// test, in which only the COM names a test links lead anywhere). False when it has not been
// made.
inline bool UseTestPrefix() {
    ::setenv("WINEPREFIX", BOOTLOADER_WINE_PREFIX, 1);
    ::setenv("WINEDEBUG", "-all", 1);
    ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    // Wine spells Unix file names in the locale's character set: with none set (a new
    // container has none) a directory name beyond ASCII turns into garbage.
    ::setenv("LC_ALL", "C.UTF-8", 1);
    return std::filesystem::exists(std::filesystem::path(BOOTLOADER_WINE_PREFIX) / ".ports-hidden");
}
