#pragma once

#include <string>

#include "sim/SimConfig.h"

// What the unitsim program is asked to do: the unit it simulates and how it serves it.
struct TUnitSimOptions {
    TSimConfig Config;
    // Directory of COMn links; empty: $BOOTLOADER_PORTS, else ports/ in the working directory.
    std::string PortsDir;
    unsigned Port = 1;
    // Replace an existing symbolic link of the same name (never anything else).
    bool ReplaceLink = false;
    std::string FlashInitFile;
    std::string FlashDumpFile;
    std::string StatsFile;
    bool Trace = false;
    bool Help = false;
};
