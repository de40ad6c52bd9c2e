#pragma once

#include <cstdint>
#include <string>

#include "package/FirmwareImage.h"

// Reads the numbers the build's package carries into the package: ProcessorNumber from
// "PROC_NUM" (and ProgramEnd from the processor table), PackageModel from "VX_NUM" and
// PackageVersion from "FW_VER"; then applies the title table (ExpectedModel and
// applicationTitle). The image is left alone: LoadImageFromResource reads it.
// Throws EResourceError "Resource <name> not found".
void ReadPackageFromResources(FirmwareImage& package, std::string& applicationTitle);

// Load File's processor number, as typed: sets ProcessorNumber (cut to 16 bits) and
// ProgramEnd from the processor table. Throws EConvertError for text that is no number.
void SetProcessorFromText(FirmwareImage& package, const std::string& text);

// Load File's model number, as typed: sets PackageModel and ExpectedModel (cut to 16 bits) and
// returns it. Throws EConvertError for text that is no number.
std::uint16_t SetModelFromText(FirmwareImage& package, const std::string& text);
