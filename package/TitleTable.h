#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "package/FirmwareImage.h"
#include "package/TitleRow.h"

// Every product the program knows, one row per package model number.
std::span<const TTitleRow> TitleTable();

// The row of a package model, or nullptr when the table has none.
const TTitleRow* FindTitleRow(std::uint16_t packageModel);

// Derives the model the boot loader must report and the application title from the package
// model and version: ExpectedModel = PackageModel; then, when the table has a row for it,
// ExpectedModel = the row's expected model and applicationTitle = the row's title followed by
// FormatVersion(PackageVersion). Without a row applicationTitle is left as it was.
void ApplyTitleTable(FirmwareImage& package, std::string& applicationTitle);
