#include "station/StationReport.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include "platform/win32/SystemText.h"
#include "platform/win32/WideText.h"

namespace {

// Every writer locks this one byte, far beyond anything the file will hold: a lock of
// Windows keeps others from reading and writing the bytes it covers, and readers of the
// report must not be held up by a writer.
constexpr DWORD kLockOffsetHigh = 0x40000000;

HANDLE FromNumber(int number) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(number));
}

int Number(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

// The errno that tells the reason of a system error, as the batch's messages name it.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            return EIO;
    }
}

std::string Reason(DWORD error) {
    std::string reason = SystemMessage(error);
    if (!reason.empty() && reason.back() == '.') reason.pop_back();
    return reason;
}

}  // namespace

TStationReport::TStationReport(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        throw std::runtime_error("the report " + path + " is not a regular file");
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // Read too, for the last byte before each line.
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    // A file this process may only write to is still appended to, without the look back.
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open the report " + path + ": " + Reason(::GetLastError()));
    // A pipe, a console or a device would block or never keep a record.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        throw std::runtime_error("the report " + path + " is not a regular file");
    }
    fd_ = Number(file);
}

TStationReport TStationReport::Inherited(int fd) {
    const HANDLE inherited = FromNumber(fd);
    const HANDLE reopened = ::ReOpenFile(inherited, GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (reopened == INVALID_HANDLE_VALUE) {
        // The inherited handle still appends; its lock is then shared with the batch's,
        // which leaves only the cut-back of a short write unguarded.
        ::SetHandleInformation(inherited, HANDLE_FLAG_INHERIT, 0);
        return TStationReport(fd);
    }
    ::CloseHandle(inherited);
    return TStationReport(Number(reopened));
}

TStationReport::~TStationReport() {
    if (fd_ >= 0) ::CloseHandle(FromNumber(fd_));
}

int TStationReport::Append(const std::string& line, const std::function<bool()>& alreadyThere) {
    if (fd_ < 0) return EBADF;
    const HANDLE file = FromNumber(fd_);
    OVERLAPPED lockAt{};
    lockAt.OffsetHigh = kLockOffsetHigh;
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt)) return ErrnoOf(::GetLastError());
    int error = 0;
    LARGE_INTEGER size{};
    if (alreadyThere && alreadyThere()) {
        // In the file already: nothing to write.
    } else if (!::GetFileSizeEx(file, &size)) {
        error = ErrnoOf(::GetLastError());
    } else {
        char last = '\n';
        if (size.QuadPart > 0) {
            OVERLAPPED at{};
            const auto before = static_cast<std::uint64_t>(size.QuadPart - 1);
            at.Offset = static_cast<DWORD>(before);
            at.OffsetHigh = static_cast<DWORD>(before >> 32);
            DWORD n = 0;
            if (!::ReadFile(file, &last, 1, &n, &at) || n != 1) last = '\n';
        }
        const std::string bytes = (last == '\n' ? "" : "\n") + line + "\n";
        // One write at the end of the file, wherever it is by then.
        OVERLAPPED end{};
        end.Offset = 0xFFFFFFFF;
        end.OffsetHigh = 0xFFFFFFFF;
        DWORD n = 0;
        const bool wrote = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &end) != 0;
        if (!wrote || n != bytes.size()) {
            error = wrote ? ENOSPC : ErrnoOf(::GetLastError());
            // A short write leaves part of the line: cut the file back to where it ended.
            LARGE_INTEGER now{};
            if (::GetFileSizeEx(file, &now) && now.QuadPart > size.QuadPart &&
                !(::SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file)))
                error = ErrnoOf(::GetLastError());
        }
    }
    ::UnlockFileEx(file, 0, 1, 0, &lockAt);
    return error;
}
