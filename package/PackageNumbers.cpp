#include "package/PackageNumbers.h"

#include "package/TitleTable.h"

void ReadPackageFromResources(FirmwareImage& package, std::string& applicationTitle) {
    package.ProcessorNumber = ReadResourceWord("PROC_NUM");
    package.SetProgramEnd(package.ProcessorNumber);
    package.PackageModel = ReadResourceWord("VX_NUM");
    package.PackageVersion = ReadResourceWord("FW_VER");
    ApplyTitleTable(package, applicationTitle);
}
