#include "cli/VersionText.h"

#include "app/AboutTexts.h"

std::string VersionText(const TVersionInfo& info) {
    const TAboutTexts texts = MakeAboutTexts(info);
    std::string text =
        "bootloader-cli\n" + texts.Description + "\n" + texts.Version + "\n" + texts.Copyright + "\n";
    if (texts.Prerelease) text += "Pre-release build\n";
    return text;
}
