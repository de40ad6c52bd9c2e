#pragma once

#include <string>

#include "platform/VersionInfo.h"

// What the about box shows, worked out from the program's version record.
struct TAboutTexts {
    std::string Description = "N/A";
    std::string Version = VersionLine("N/A");
    std::string Copyright = "N/A";
    bool Prerelease = false;

    // "Version " + the text before the last full stop + "  Build " + the text after it; a
    // text without a full stop is all build: "2" gives "Version   Build 2".
    static std::string VersionLine(const std::string& fileVersion);
};

// A string the record lacks reads "N/A"; the stamp shows when the pre-release bit is set in
// both the flags and the flags mask. A program without a record shows "N/A" throughout.
TAboutTexts MakeAboutTexts(const TVersionInfo& info);
