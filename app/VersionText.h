#pragma once

#include <string>

#include "platform/VersionInfo.h"

// What both programs print for --version: the program's version and build, description and
// copyright from its version record (on Windows the executable's own version block), a note
// when the record marks a pre-release, then the firmware package it carries (model, title,
// version, processor), read the way start-up reads it, and the SHA-256 of its image (the
// digest a station's report records for a unit given the embedded image). A package that
// cannot be read is named as such, with the reason.
std::string VersionText(const std::string& program, const TVersionInfo& info = ReadVersionInfo());
