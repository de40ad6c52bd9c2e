#include "cli/StationReport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "package/FormatVersion.h"

namespace {

// A JSON string. Bytes outside ASCII are written as \u00XX so that the line is valid JSON
// whatever a process put on its standard error.
std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string QuoteOrNull(const std::optional<std::string>& text) {
    return text ? Quote(*text) : "null";
}

std::string Strings(const std::vector<std::string>& lines) {
    std::string out = "[";
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? "," : "") + Quote(lines[i]);
    return out + "]";
}

}  // namespace

TStationReport::TStationReport(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) throw std::runtime_error("cannot open the report file " + path);
}

TStationReport::~TStationReport() {
    if (fd_ >= 0) ::close(fd_);
}

bool TStationReport::Write(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package) {
    const std::string line = Line(unit, batch, package) + "\n";
    ssize_t n;
    do {
        n = ::write(fd_, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(line.size());
}

std::string TStationReport::IsoTime(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
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
    const double duration = std::chrono::duration<double>(unit.EndTime - unit.StartTime).count();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", duration);
    const TStationUnit::TResult result = unit.Result();
    std::string identity = "null";
    if (unit.Model && unit.Version)
        identity = "{\"model\":" + std::to_string(*unit.Model) +
                   ",\"version\":" + Quote(FormatVersion(*unit.Version)) + "}";
    const bool failed = result == TStationUnit::TResult::Failed;
    std::string s = "{";
    s += "\"batch\":" + Quote(batch);
    s += ",\"port\":" + (unit.Port != 0 ? Quote(unit.Label) : std::string("null"));
    s += ",\"device\":" + Quote(unit.Device);
    s += ",\"start\":" + Quote(IsoTime(unit.StartTime));
    s += ",\"end\":" + Quote(IsoTime(unit.EndTime));
    s += ",\"duration_s\":" + std::string(seconds);
    s += ",\"identity\":" + identity;
    s += ",\"boot_loader\":" + QuoteOrNull(unit.BootLoader);
    s += ",\"expected_model\":" + std::to_string(package.ExpectedModel);
    s += ",\"package\":{\"model\":" + std::to_string(package.PackageModel) +
         ",\"version\":" + Quote(FormatVersion(package.PackageVersion)) +
         ",\"processor\":" + std::to_string(package.ProcessorNumber) + "}";
    s += ",\"log\":" + Strings(unit.Lines);
    s += ",\"messages\":" + Strings(unit.Messages);
    s += ",\"result\":" + Quote(ResultName(result));
    s += ",\"failed_step\":" +
         (failed && !unit.FailedStep().empty() ? Quote(unit.FailedStep()) : std::string("null"));
    s += ",\"failing_line\":" + (failed ? Quote(unit.FailingLine()) : std::string("null"));
    s += ",\"exit_status\":" + (unit.ExitStatus ? std::to_string(*unit.ExitStatus) : std::string("null"));
    s += ",\"signal\":" + (unit.Signal != 0 ? std::to_string(unit.Signal) : std::string("null"));
    s += "}";
    return s;
}
