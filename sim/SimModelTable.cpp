#include "sim/SimModelTable.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr std::uint16_t kEntryRegisterMain = 29;

struct TRowGroup {
    std::vector<std::uint16_t> Models;
    std::uint32_t ModbusSpeed;
    std::uint32_t BootSpeed;
    std::vector<TSimEntryStep> Steps;
    bool HasSettings;
    std::uint16_t SettingsResetFrom;
};

// Models sharing the same line speeds and entry writes are listed together.
const std::array<TRowGroup, 6> kGroups{{
    // Entry by the standard write-single code to slave 1; the broadcast that follows it
    // reaches a unit that has already switched.
    {{6104, 6164}, 9600, 115200, {{6, 1, 156}, {6, 0, 156}}, false, 0},
    // Entry through the command register of slave 19. Model 6155 keeps settings that
    // its firmware from version 1.10 on stores in a new layout.
    {{6117, 6126, 6181, 6182, 6186, 6192, 6193, 6195, 6196, 6197, 6198, 6199, 6200, 6201, 6202, 6203},
     9600,
     115200,
     {{103, 19, kEntryRegisterMain}},
     false,
     0},
    {{6155}, 9600, 115200, {{103, 19, kEntryRegisterMain}}, true, 110},
    {{6121}, 9600, 115200, {{6, 242, 13}}, false, 0},
    // The board shared by several products.
    {{6140}, 9600, 115200, {{103, 1, 8}}, false, 0},
    // The fast model: either of its two writes switches it.
    {{6152}, 800000, 92160, {{103, 1, 8}, {103, 2, 5}}, false, 0},
}};

// 6160 has no entry write: such a unit is met already running its boot loader.
constexpr std::uint16_t kNoEntryModel = 6160;

}  // namespace

bool TSimModelTable::Known(std::uint16_t model) {
    if (model == kNoEntryModel) return true;
    return std::any_of(kGroups.begin(), kGroups.end(), [model](const TRowGroup& g) {
        return std::find(g.Models.begin(), g.Models.end(), model) != g.Models.end();
    });
}

TSimModelRow TSimModelTable::Find(std::uint16_t model) {
    TSimModelRow row;
    row.Model = model;
    for (const TRowGroup& g : kGroups) {
        if (std::find(g.Models.begin(), g.Models.end(), model) == g.Models.end()) continue;
        row.ModbusSpeed = g.ModbusSpeed;
        row.BootSpeed = g.BootSpeed;
        row.EntrySteps = g.Steps;
        row.HasSettings = g.HasSettings;
        row.SettingsResetFrom = g.SettingsResetFrom;
        return row;
    }
    return row;
}
