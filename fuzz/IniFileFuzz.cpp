// A settings file of any content: reading never fails, and a value written reads back
// while the other keys keep their values.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/FuzzInput.h"
#include "platform/IniFile.h"

namespace {

const std::string& FilePath() {
    static const std::string path = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "ini-fuzz-XXXXXX").string();
        if (::mkdtemp(dir.data()) == nullptr) std::abort();
        return dir + "/Bootload.Ini";
    }();
    return path;
}

std::string Name(TFuzzInput& in) {
    static const char* const names[] = {"Options", "options", "Comms_Port", "comms_port",
                                        "A",       "Key",     " Options "};
    return names[in.Between(0, 6)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFuzzInput in(data, size);
    const std::string section = Name(in), key = Name(in), otherSection = Name(in), otherKey = Name(in);
    const std::int32_t value = static_cast<std::int32_t>(in.Word()) - 1000;
    const std::vector<std::uint8_t> content = in.Rest();
    {
        std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(content.data()),
                  static_cast<std::streamsize>(content.size()));
    }
    TIniFile ini(FilePath());
    const std::string before = ini.ReadString(otherSection, otherKey, "<none>");
    FUZZ_CHECK(before.size() <= TIniFile::MaxValueLength || before == "<none>");
    ini.ReadInteger(section, key, 7);

    ini.WriteInteger(section, key, value);
    FUZZ_CHECK(ini.ReadInteger(section, key, value + 1) == value);
    // Names match without regard to case or surrounding blanks; another name keeps its value.
    auto same = [](std::string a, std::string b) {
        auto norm = [](std::string s) {
            s.erase(0, s.find_first_not_of(' '));
            s.erase(s.find_last_not_of(' ') + 1);
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        return norm(a) == norm(b);
    };
    if (!same(section, otherSection) || !same(key, otherKey))
        FUZZ_CHECK(ini.ReadString(otherSection, otherKey, "<none>") == before);
    return 0;
}
