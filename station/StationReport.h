#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "package/FirmwareImage.h"
#include "station/StationUnit.h"

// The batch's record: JSON Lines appended to a regular file, one object per unit. Lines come
// from the batch and from the units' own processes (each writes its unit's line as it ends,
// so the record survives the batch's process), and from other batches sharing the file.
// Every writer appends under an exclusive lock of the file (flock on POSIX, LockFileEx on
// Windows), on an open file of its own:
//  - a line is written with one write at the file's end (O_APPEND on POSIX, the end-of-file
//    offset on Windows); when the write falls short (a full disk), the file is cut back to its
//    size before it, so a line is there whole or not at all;
//  - a file that does not end with a newline (a writer that died mid-write, or one that
//    does not lock) gets one before the new line: the fragment stays, alone on its line,
//    and the new line is never glued onto it.
class TStationReport {
public:
    // Opens (creates) the file for appending. Throws std::runtime_error, with the reason,
    // when it cannot, and when the path is not a regular file (a FIFO, a terminal, a
    // directory): such a path would block or never keep a record.
    explicit TStationReport(const std::string& path);
    // Takes over the report inherited from the batch (a descriptor on POSIX, a handle value
    // on Windows), opened again (through /proc, or ReOpenFile) so that this process's lock is
    // its own.
    static TStationReport Inherited(int fd);
    TStationReport(TStationReport&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ~TStationReport();
    TStationReport(const TStationReport&) = delete;
    TStationReport& operator=(const TStationReport&) = delete;

    // The open file, to pass on to a unit's process: a descriptor, or a handle value.
    int Fd() const { return fd_; }

    // Appends the unit's line. Returns 0 when it is in the file whole, otherwise the errno of
    // the failure (the file then holds no part of it).
    int Write(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package);
    // Appends one line (without its newline) as described above; 0 or an errno. With the
    // lock held, alreadyThere (when given) is asked first: when it says the line is in the
    // file already, nothing is written and 0 returned.
    int Append(const std::string& line, const std::function<bool()>& alreadyThere = nullptr);
    // Appends the unit's line unless the file at path holds one of this batch for this unit
    // (same batch, port and device) after its first from bytes: a unit's process that wrote
    // its line and was killed before it could tell the batch has its line once.
    int WriteUnlessRecorded(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package,
                            const std::string& path, std::uint64_t from);
    // The size of the file at path, 0 when it cannot be told.
    static std::uint64_t SizeOf(const std::string& path);

    // The package every unit of a batch gets, as the units' processes derive it: the one
    // this program carries, or the image file and its numbers. Throws EStationUsageError for
    // an image file or a number that cannot be used.
    static FirmwareImage Package(const std::optional<std::string>& image,
                                 const std::optional<std::string>& processor,
                                 const std::optional<std::string>& model);

    // The unit's object, one line without its newline.
    static std::string Line(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package);
    // UTC, ISO 8601 with milliseconds: "2026-12-08T22:50:01.123Z".
    static std::string IsoTime(std::chrono::system_clock::time_point time);
    // The result as the report names it.
    static const char* ResultName(TStationUnit::TResult result);
    // Text for the report: valid UTF-8 passes as it is; a byte that is no part of a valid
    // UTF-8 sequence becomes the character of its number (U+0080 to U+00FF), so the line is
    // valid JSON whatever a process wrote, and no byte is lost.
    static std::string Utf8Text(const std::string& text);
    // The text as a JSON string, as the line holds it (control characters escaped).
    static std::string Quote(const std::string& text);

private:
    explicit TStationReport(int fd) : fd_(fd) {}
    int fd_ = -1;
};
