// Prints the firmware package this build carries, read the way the program reads it at
// start-up: numbers from the resources, then the model tables, then the image.
// With --dump-image FILE it also writes the 65536 image bytes to FILE, so a script can
// compare a unit's flash with what the program sends.

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "package/FormatVersion.h"
#include "package/ImageDigest.h"
#include "package/ModelProfile.h"
#include "package/PackageNumbers.h"

namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dumpPath;
    if (argc == 3 && std::string(argv[1]) == "--dump-image") {
        dumpPath = argv[2];
    } else if (argc != 1) {
        std::cerr << "usage: package-info [--dump-image FILE]\n";
        return 2;
    }
    try {
        auto package = std::make_unique<FirmwareImage>();
        std::string title;
        package->ClearImage();
        ReadPackageFromResources(*package, title);
        package->LoadImageFromResource();

        const ModelProfile profile = ProfileFor(package->ExpectedModel);
        std::size_t present = 0;
        for (bool p : package->BlockPresent) present += p ? 1 : 0;

        std::cout << "Processor:       " << package->ProcessorNumber << "\n"
                  << "Program end:     "
                  << (package->ProgramEnd ? Hex(package->ProgramEnd) : std::string("unknown processor"))
                  << "\n"
                  << "Model:           " << package->PackageModel << "\n"
                  << "Expected model:  " << package->ExpectedModel << "\n"
                  << "Title:           " << (title.empty() ? std::string("(none)") : title) << "\n"
                  << "Version:         " << FormatVersion(package->PackageVersion) << "\n"
                  << "Modbus speed:    " << profile.ModbusSpeed << "\n"
                  << "Boot speed:      " << profile.BootSpeed << "\n"
                  << "Boot entry:      ";
        if (profile.BootEntryRecipe.empty()) std::cout << "no writes";
        for (std::size_t i = 0; i < profile.BootEntryRecipe.size(); ++i) {
            const TBootEntryStep& step = profile.BootEntryRecipe[i];
            std::cout << (i ? ", then " : "") << "function " << int(step.FunctionCode) << " slave "
                      << int(step.Slave) << " register " << step.Register;
        }
        std::cout << " (value " << Hex(BootModeEntryValue) << ")\n"
                  << "Image:           " << FirmwareImage::kImageSize << " bytes, " << present << " of "
                  << FirmwareImage::kBlockCount << " blocks present\n"
                  << "Image SHA-256:   " << ImageSha256(*package) << "\n";
        if (!dumpPath.empty()) {
            std::ofstream out(dumpPath, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(package->ImageBuffer.data()),
                      static_cast<std::streamsize>(package->ImageBuffer.size()));
            if (!out.flush()) {
                std::cerr << "package-info: cannot write " << dumpPath << "\n";
                return 1;
            }
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "package-info: " << e.what() << "\n";
        return 1;
    }
}
