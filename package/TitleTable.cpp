#include "package/TitleTable.h"

#include "package/FormatVersion.h"
#include "package/ModelProfile.h"

namespace {

const TTitleRow kTitleTable[] = {
    {6104, "VX6104 Dosing Pump Controller Firmware Update v", 6104},
    {6117, "VX6117 Level Controller Firmware Update v", 6117},
    {6121, "VX6121 Temperature Controller Firmware Update v", 6121},
    {6126, "VX6126 Flow Monitor Firmware Update v", 6126},
    {6143, "VX6143 Conveyor Drive Controller Firmware Update v", SharedBoardModel},
    {6145, "VX6145 Valve Sequencer Firmware Update v", SharedBoardModel},
    {6152, "VX6152 High-Speed Motion Controller Firmware Update v", 6152},
    {6155, "VX6155 Pressure Controller Firmware Update v", 6155},
    {6160, "VX6160 Remote I/O Unit Firmware Update v", 6160},
    {6163, "VX6163 Batch Controller Firmware Update v", SharedBoardModel},
    {6164, "VX6164 Dual Dosing Controller Firmware Update v", 6164},
    {6170, "VX6170 Mixer Controller Firmware Update v", SharedBoardModel},
    {6174, "VX6174 Heater Controller Firmware Update v", SharedBoardModel},
    {6181, "VX6181 Pump Controller Firmware Update v", 6181},
    {6182, "VX6182 Twin Pump Controller Firmware Update v", 6182},
    {6186, "VX6186 Tank Monitor Firmware Update v", 6186},
    {6189, "VX6189 Fan Controller Firmware Update v", SharedBoardModel},
    {6192, "VX6192 Chiller Controller Firmware Update v", 6192},
    {6193, "VX6193 Boiler Controller Firmware Update v", 6193},
    {6195, "VX6195 pH Controller Firmware Update v", 6195},
    {6196, "VX6196 Conductivity Controller Firmware Update v", 6196},
    {6197, "VX6197 Chlorine Controller Firmware Update v", 6197},
    {6198, "VX6198 Turbidity Monitor Firmware Update v", 6198},
    {6199, "VX6199 Humidity Controller Firmware Update v", 6199},
    {6200, "VX6200 Filter Controller Firmware Update v", 6200},
    {6201, "VX6201 Irrigation Controller Firmware Update v", 6201},
    {6202, "VX6202 Compressor Controller Firmware Update v", 6202},
    {6203, "VX6203 Operator Panel FW v", 6203},
    {6230, "VX6230 Network Gateway v", SharedBoardModel},
};

}  // namespace

std::span<const TTitleRow> TitleTable() {
    return kTitleTable;
}

const TTitleRow* FindTitleRow(std::uint16_t packageModel) {
    for (const TTitleRow& row : kTitleTable)
        if (row.PackageModel == packageModel) return &row;
    return nullptr;
}

void ApplyTitleTable(FirmwareImage& package, std::string& applicationTitle) {
    package.ExpectedModel = package.PackageModel;
    if (const TTitleRow* row = FindTitleRow(package.PackageModel)) {
        package.ExpectedModel = row->ExpectedModel;
        applicationTitle = row->Title + FormatVersion(package.PackageVersion);
    }
}
