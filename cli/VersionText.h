#pragma once

#include <string>

#include "platform/VersionInfo.h"

// What --version prints: the program's version record (on Windows the executable's own
// version block), one item a line: description, version and build, copyright, and a
// pre-release note when the record marks the build as one.
std::string VersionText(const TVersionInfo& info);
