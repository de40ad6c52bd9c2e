#include "app/AboutTexts.h"

std::string TAboutTexts::VersionLine(const std::string& fileVersion) {
    const auto dot = fileVersion.rfind('.');
    const std::string version = dot == std::string::npos ? std::string() : fileVersion.substr(0, dot);
    const std::string build = dot == std::string::npos ? fileVersion : fileVersion.substr(dot + 1);
    return "Version " + version + "  Build " + build;
}

TAboutTexts MakeAboutTexts(const TVersionInfo& info) {
    TAboutTexts texts;
    if (!info.Present) return texts;
    if (info.FileDescription) texts.Description = *info.FileDescription;
    if (info.FileVersion) texts.Version = TAboutTexts::VersionLine(*info.FileVersion);
    if (info.LegalCopyright) texts.Copyright = *info.LegalCopyright;
    texts.Prerelease = (info.FileFlags & info.FileFlagsMask & TVersionInfo::kPrerelease) != 0;
    return texts;
}
