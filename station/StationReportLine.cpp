#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/RunnerContract.h"
#include "cli/StationUsageError.h"
#include "package/FormatVersion.h"
#include "package/ImageDigest.h"
#include "package/PackageNumbers.h"
#include "station/StationReport.h"

namespace {

// The length of the valid UTF-8 sequence that starts at text[i], or 0 when the byte there
// starts none (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF,
// or a sequence cut short).
std::size_t Utf8Length(const std::string& text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = at(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

nlohmann::ordered_json TextOrNull(const std::optional<std::string>& text) {
    return text ? nlohmann::ordered_json(TStationReport::Utf8Text(*text)) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json Texts(const std::vector<std::string>& lines) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const std::string& line : lines) list.push_back(TStationReport::Utf8Text(line));
    return list;
}

// The fields that name a line's unit, first in every line.
nlohmann::ordered_json UnitFields(const TStationUnit& unit, const std::string& batch) {
    nlohmann::ordered_json fields;
    fields["batch"] = TStationReport::Utf8Text(batch);
    fields["port"] = unit.Port != 0 ? nlohmann::ordered_json(TStationReport::Utf8Text(unit.Label))
                                    : nlohmann::ordered_json(nullptr);
    fields["device"] = TStationReport::Utf8Text(unit.Device);
    return fields;
}

}  // namespace

std::string TStationReport::Utf8Text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += text[i++];
        } else if (const std::size_t n = Utf8Length(text, i); n != 0) {
            out.append(text, i, n);
            i += n;
        } else {
            // The byte as the character of that number (U+0080 to U+00FF), in UTF-8.
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return out;
}

std::string TStationReport::Quote(const std::string& text) {
    return nlohmann::ordered_json(Utf8Text(text)).dump();
}

int TStationReport::Write(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package) {
    return Append(Line(unit, batch, package));
}

int TStationReport::WriteUnlessRecorded(const TStationUnit& unit, const std::string& batch,
                                        const FirmwareImage& package, const std::string& path,
                                        std::uint64_t from) {
    // A line begins with the fields that name its unit; the rest follows a comma.
    std::string key = UnitFields(unit, batch).dump();
    key.back() = ',';
    return Append(Line(unit, batch, package), [&] {
        std::ifstream file(path, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(from));
        for (std::string line; std::getline(file, line);)
            if (line.compare(0, key.size(), key) == 0) return true;
        return false;
    });
}

std::uint64_t TStationReport::SizeOf(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

FirmwareImage TStationReport::Package(const std::optional<std::string>& image,
                                      const std::optional<std::string>& processor,
                                      const std::optional<std::string>& model) {
    FirmwareImage package;
    std::string title;
    ReadPackageFromResources(package, title);
    if (!image) package.LoadImageFromResource();
    if (image) {
        if (const std::string problem = ImageFileProblem(*image); !problem.empty())
            throw EStationUsageError(problem);
        package.LoadImageFromFile(*image);
        try {
            SetProcessorFromText(package, processor.value_or(""));
            SetModelFromText(package, model.value_or(""));
        } catch (const std::exception& error) {
            throw EStationUsageError(error.what());
        }
    }
    return package;
}

std::string TStationReport::IsoTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{ms - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

const char* TStationReport::ResultName(TStationUnit::TResult result) {
    switch (result) {
        case TStationUnit::TResult::Completed:
            return "completed";
        case TStationUnit::TResult::SettingsNotRestored:
            return "settings not restored";
        case TStationUnit::TResult::Failed:
            return "failed";
        case TStationUnit::TResult::Running:
            break;
    }
    return "running";
}

std::string TStationReport::Line(const TStationUnit& unit, const std::string& batch,
                                 const FirmwareImage& package) {
    using TJson = nlohmann::ordered_json;
    const double duration = std::chrono::duration<double>(unit.EndTime - unit.StartTime).count();
    const TStationUnit::TResult result = unit.Result();
    const bool failed = result == TStationUnit::TResult::Failed;
    TJson line = UnitFields(unit, batch);
    line["start"] = IsoTime(unit.StartTime);
    line["end"] = IsoTime(unit.EndTime);
    line["duration_s"] = std::round(duration * 1000) / 1000;
    line["identity"] = unit.Model && unit.Version
                           ? TJson{{"model", *unit.Model}, {"version", FormatVersion(*unit.Version)}}
                           : TJson(nullptr);
    line["boot_loader"] = TextOrNull(unit.BootLoader);
    line["expected_model"] = package.ExpectedModel;
    line["package"] = {{"model", package.PackageModel},
                       {"version", FormatVersion(package.PackageVersion)},
                       {"processor", package.ProcessorNumber}};
    line["image_sha256"] = ImageSha256(package);
    line["log"] = Texts(unit.Lines);
    line["messages"] = Texts(unit.Messages);
    line["result"] = ResultName(result);
    line["failed_step"] =
        failed && !unit.FailedStep().empty() ? TJson(Utf8Text(unit.FailedStep())) : TJson(nullptr);
    line["failing_line"] = failed ? TJson(Utf8Text(unit.FailingLine())) : TJson(nullptr);
    line["exit_status"] = unit.ExitStatus ? TJson(*unit.ExitStatus) : TJson(nullptr);
    line["signal"] = unit.Signal != 0 ? TJson(unit.Signal) : TJson(nullptr);
    line["garbage"] = unit.Garbage;
    return line.dump();
}
