#include "station/StationReport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "cli/RunnerContract.h"
#include "cli/StationUsageError.h"
#include "package/FormatVersion.h"
#include "package/ImageDigest.h"
#include "package/PackageNumbers.h"

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

TStationReport::TStationReport(const std::string& path) {
    // Read too, for the last byte before each line. Not blocking on a FIFO without a
    // reader; what is not a regular file is refused below.
    const int flags = O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    fd_ = ::open(path.c_str(), O_RDWR | flags, 0644);
    // A file this process may only write to is still appended to, without the look back.
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(path.c_str(), O_WRONLY | flags, 0644);
    struct stat info {};
    if (fd_ < 0 && errno == ENXIO && ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw std::runtime_error("the report " + path + " is not a regular file");
    if (fd_ < 0) throw std::runtime_error("cannot open the report " + path + ": " + std::strerror(errno));
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error("the report " + path + " is not a regular file");
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

TStationReport TStationReport::Inherited(int fd) {
    const std::string own = "/proc/self/fd/" + std::to_string(fd);
    const int reopened = ::open(own.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY);
    if (reopened < 0) {
        // Without /proc the inherited descriptor still appends; its lock is then shared
        // with the batch's, which leaves only the cut-back of a short write unguarded.
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        return TStationReport(fd);
    }
    ::close(fd);
    return TStationReport(reopened);
}

TStationReport::~TStationReport() {
    if (fd_ >= 0) ::close(fd_);
}

int TStationReport::Write(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package) {
    return Append(Line(unit, batch, package));
}

int TStationReport::Append(const std::string& line) {
    if (fd_ < 0) return EBADF;
    while (::flock(fd_, LOCK_EX) != 0)
        if (errno != EINTR) return errno;
    int error = 0;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        error = errno;
    } else {
        char last = '\n';
        if (info.st_size > 0 && ::pread(fd_, &last, 1, info.st_size - 1) != 1) last = '\n';
        const std::string bytes = (last == '\n' ? "" : "\n") + line + "\n";
        ssize_t n;
        do {
            n = ::write(fd_, bytes.data(), bytes.size());
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(bytes.size())) {
            error = n < 0 ? errno : ENOSPC;
            // A short write leaves part of the line: cut the file back to where it ended.
            if (n > 0 && ::ftruncate(fd_, info.st_size) != 0) error = errno;
        }
    }
    ::flock(fd_, LOCK_UN);
    return error;
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
    using TJson = nlohmann::ordered_json;
    const double duration = std::chrono::duration<double>(unit.EndTime - unit.StartTime).count();
    const TStationUnit::TResult result = unit.Result();
    const bool failed = result == TStationUnit::TResult::Failed;
    TJson line;
    line["batch"] = Utf8Text(batch);
    line["port"] = unit.Port != 0 ? TJson(Utf8Text(unit.Label)) : TJson(nullptr);
    line["device"] = Utf8Text(unit.Device);
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
