#include "package/ModelProfile.h"

#include <algorithm>
#include <initializer_list>

namespace {

struct TProfileRow {
    std::initializer_list<std::uint16_t> Models;
    std::uint32_t ModbusSpeed;
    std::uint32_t BootSpeed;
    std::initializer_list<TBootEntryStep> Recipe;
};

const TProfileRow kProfileTable[] = {
    {{6104, 6164}, 9600, 115200, {{6, 1, 156}, {6, 0, 156}}},
    {{6117, 6126, 6155, 6181, 6182, 6186, 6192, 6193, 6195, 6196, 6197, 6198, 6199, 6200, 6201, 6202, 6203},
     9600,
     115200,
     {{103, 19, 29}}},
    {{6121}, 9600, 115200, {{6, 242, 13}}},
    {{SharedBoardModel}, 9600, 115200, {{103, 1, 8}}},
    {{6152}, 800000, 92160, {{103, 1, 8}, {103, 2, 5}}},
    {{6160}, 9600, 115200, {}},
};

}  // namespace

ModelProfile ProfileFor(std::uint16_t expectedModel) {
    for (const TProfileRow& row : kProfileTable) {
        if (std::find(row.Models.begin(), row.Models.end(), expectedModel) != row.Models.end())
            return ModelProfile{row.ModbusSpeed, row.BootSpeed, {row.Recipe.begin(), row.Recipe.end()}};
    }
    return ModelProfile{};
}
