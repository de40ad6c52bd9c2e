// Build-time generator of the package resources: writes a C++ source file holding the image
// and the three package numbers as the named byte blocks that FindResource looks up.
//
//   package-embed --output <file.cpp> (--demo | --image <file>)
//                 --processor <n> --model <n> --version <n>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "package/tools/DemoImage.h"

namespace {

constexpr std::size_t kImageSize = 65536;

bool ParseWord(const std::string& text, std::uint16_t& value) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long n = std::stoul(text);
    if (n > 0xFFFF) return false;
    value = static_cast<std::uint16_t>(n);
    return true;
}

void WriteArray(std::ostream& out, const char* name, const std::vector<std::uint8_t>& bytes) {
    // A zero-length array is not valid C++; the span below carries the real length.
    out << "const std::uint8_t " << name << "[" << (bytes.empty() ? 1 : bytes.size()) << "] = {";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) out << "\n   ";
        char hex[8];
        std::snprintf(hex, sizeof hex, " 0x%02x,", bytes[i]);
        out << hex;
    }
    out << "\n};\n";
}

std::vector<std::uint8_t> Word(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

int Fail(const std::string& message) {
    std::cerr << "package-embed: " << message << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--demo") {
            demo = true;
        } else if ((arg == "--output" || arg == "--image" || arg == "--processor" || arg == "--model" ||
                    arg == "--version") &&
                   i + 1 < argc) {
            options[arg] = argv[++i];
        } else {
            return Fail("unexpected argument '" + arg + "'");
        }
    }
    if (!options.count("--output")) return Fail("--output is required");
    if (demo == (options.count("--image") > 0)) return Fail("give exactly one of --demo and --image");

    std::uint16_t processor = 0, model = 0, version = 0;
    for (auto [name, target] :
         {std::pair{"--processor", &processor}, {"--model", &model}, {"--version", &version}}) {
        if (!options.count(name) || !ParseWord(options[name], *target))
            return Fail(std::string(name) + " needs a decimal number from 0 to 65535");
    }

    std::vector<std::uint8_t> image;
    if (demo) {
        image = MakeDemoImage();
    } else {
        const std::string& path = options["--image"];
        std::ifstream in(path, std::ios::binary);
        if (!in) return Fail("cannot open image " + path);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return Fail("cannot read image " + path);
        // The units are always written in full; a shorter image would send zeros in place of
        // program code, a longer one would not be the image it claims to be.
        if (image.size() != kImageSize)
            return Fail("image " + path + " holds " + std::to_string(image.size()) +
                        " bytes; a package image holds " + std::to_string(kImageSize));
    }

    std::ostringstream out;
    out << "// Generated at build time by package-embed. Do not edit.\n"
        << "#include \"package/Resources.h\"\n\n"
        << "namespace {\n\n";
    WriteArray(out, "kHFile", image);
    WriteArray(out, "kProcNum", Word(processor));
    WriteArray(out, "kVxNum", Word(model));
    WriteArray(out, "kFwVer", Word(version));
    out << "\nconst TResourceBlock kResources[] = {\n"
        << "    {\"HFile\", {kHFile, " << image.size() << "}},\n"
        << "    {\"PROC_NUM\", {kProcNum, 2}},\n"
        << "    {\"VX_NUM\", {kVxNum, 2}},\n"
        << "    {\"FW_VER\", {kFwVer, 2}},\n"
        << "};\n\n"
        << "}  // namespace\n\n"
        << "std::span<const TResourceBlock> PackageResources() { return kResources; }\n";

    const std::string& outputPath = options["--output"];
    std::ofstream file(outputPath, std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) return Fail("cannot write " + outputPath);
    return 0;
}
