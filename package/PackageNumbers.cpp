#include "package/PackageNumbers.h"

#include "package/TitleTable.h"
#include "platform/StrToInt.h"

void ReadPackageFromResources(FirmwareImage& package, std::string& applicationTitle) {
    package.ProcessorNumber = ReadResourceWord("PROC_NUM");
    package.SetProgramEnd(package.ProcessorNumber);
    package.PackageModel = ReadResourceWord("VX_NUM");
    package.PackageVersion = ReadResourceWord("FW_VER");
    ApplyTitleTable(package, applicationTitle);
}

void SetProcessorFromText(FirmwareImage& package, const std::string& text) {
    package.ProcessorNumber = static_cast<std::uint16_t>(StrToInt(text));
    package.SetProgramEnd(package.ProcessorNumber);
}

std::uint16_t SetModelFromText(FirmwareImage& package, const std::string& text) {
    const auto model = static_cast<std::uint16_t>(StrToInt(text));
    package.PackageModel = model;
    package.ExpectedModel = model;
    return model;
}
