#pragma once

#include <string>

#include "package/FirmwareImage.h"

// Reads the numbers the build's package carries into the package: ProcessorNumber from
// "PROC_NUM" (and ProgramEnd from the processor table), PackageModel from "VX_NUM" and
// PackageVersion from "FW_VER"; then applies the title table (ExpectedModel and
// applicationTitle). The image is left alone: LoadImageFromResource reads it.
// Throws EResourceError "Resource <name> not found".
void ReadPackageFromResources(FirmwareImage& package, std::string& applicationTitle);

