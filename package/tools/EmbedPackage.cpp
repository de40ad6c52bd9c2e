// Build-time generator of the package resources: writes a C++ source file holding the image
// and the three package numbers as the named byte blocks that FindResource looks up.
//
//   package-embed (--output <file.cpp> | --rc-output <file.rc>) (--demo | --image <file>)
//                 --processor <n> --model <n> --version <n>
//
// --rc-output writes a resource script for Windows instead: the four blocks become named
// RCDATA resources of the executable, their bytes in files beside the script.

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

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

// The script names each block's file by its full path, so the resource compiler finds it
// from any directory. Paths with a quote or a backslash cannot be written in a script.
int WriteResourceScript(const std::string& scriptPath, const std::vector<std::uint8_t>& image,
                        std::uint16_t processor, std::uint16_t model, std::uint16_t version) {
    const std::size_t slash = scriptPath.find_last_of('/');
    const std::string directory = slash == std::string::npos ? std::string(".") : scriptPath.substr(0, slash);
    if (directory.find_first_of("\"\\") != std::string::npos)
        return Fail("cannot name files in " + directory + " in a resource script");
    std::ostringstream script;
    script << "// Generated at build time by package-embed. Do not edit.\n";
    for (const auto& [name, bytes] : {std::pair{"HFile", image},
                                      {"PROC_NUM", Word(processor)},
                                      {"VX_NUM", Word(model)},
                                      {"FW_VER", Word(version)}}) {
        const std::string file = directory + "/" + name + ".bin";
        if (!WriteBytes(file, bytes)) return Fail("cannot write " + file);
        script << name << " RCDATA \"" << file << "\"\n";
    }
    std::ofstream out(scriptPath, std::ios::binary | std::ios::trunc);
    out << script.str();
    out.close();
    if (!out) return Fail("cannot write " + scriptPath);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--demo") {
            demo = true;
        } else if ((arg == "--output" || arg == "--rc-output" || arg == "--image" || arg == "--processor" ||
                    arg == "--model" || arg == "--version") &&
                   i + 1 < argc) {
            options[arg] = argv[++i];
        } else {
            return Fail("unexpected argument '" + arg + "'");
        }
    }
    if (options.count("--output") == options.count("--rc-output"))
        return Fail("give exactly one of --output and --rc-output");
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

    if (options.count("--rc-output"))
        return WriteResourceScript(options["--rc-output"], image, processor, model, version);

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
