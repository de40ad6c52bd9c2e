#include "app/VersionText.h"

#include <exception>
#include <memory>

#include "app/AboutTexts.h"
#include "package/FormatVersion.h"
#include "package/ImageDigest.h"
#include "package/PackageNumbers.h"
#include "platform/VersionInfo.h"

std::string VersionText(const std::string& program, const TVersionInfo& info) {
    std::string text = program;
    if (info.Present && info.FileVersion) {
        const std::string& full = *info.FileVersion;
        const auto dot = full.rfind('.');
        text += dot == std::string::npos ? " build " + full
                                         : " " + full.substr(0, dot) + " build " + full.substr(dot + 1);
    } else {
        text += " (no version record)";
    }
    text += "\n";
    if (info.Present) {
        const TAboutTexts about = MakeAboutTexts(info);
        text += about.Description + "\n" + about.Copyright + "\n";
        if (about.Prerelease) text += "Pre-release build\n";
    }
    try {
        // Heap: the image buffer is 64 KiB.
        const auto package = std::make_unique<FirmwareImage>();
        std::string title;
        ReadPackageFromResources(*package, title);
        package->LoadImageFromResource();
        text += "Firmware package: model " + std::to_string(package->PackageModel) + " version " +
                FormatVersion(package->PackageVersion) + ", processor " +
                std::to_string(package->ProcessorNumber) + (title.empty() ? "" : " (" + title + ")") + "\n";
        text += "Image SHA-256: " + ImageSha256(*package) + "\n";
    } catch (const std::exception& error) {
        text += std::string("Firmware package: unreadable (") + error.what() + ")\n";
    }
    return text;
}
