// The file operations on the wide-character Win32 calls: UTF-8 paths, binary content.
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/FileSystem.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Handle.h"

TFileReadOutcome ReadFileBytes(const std::string& path, std::string& content, std::size_t maxLength) {
    content.clear();
    TWin32Handle file(::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? TFileReadOutcome::Missing
                                                                                : TFileReadOutcome::Failed;
    }
    char buffer[4096];
    while (content.size() < maxLength) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, maxLength - content.size()));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, want, &got, nullptr)) return TFileReadOutcome::Failed;
        if (got == 0) break;
        content.append(buffer, got);
    }
    return TFileReadOutcome::Read;
}

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    static std::atomic<unsigned> counter{0};
    const std::wstring target = WideFromUtf8(path);
    std::wstring temporary;
    HANDLE raw = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
        temporary =
            target + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
        raw = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (raw == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (raw == INVALID_HANDLE_VALUE) return false;
    TWin32Handle file(raw);
    bool ok = true;
    while (ok && !content.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
        ok = ::WriteFile(file.Get(), content.data(), chunk, &written, nullptr) && written > 0;
        content.remove_prefix(written);
    }
    ok = ok && ::FlushFileBuffers(file.Get());
    ok = file.Close() && ok;
    // Replaces an existing file in one step; the write-through flag returns only once the
    // new name is on disk.
    ok = ok &&
         ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) ::DeleteFileW(temporary.c_str());
    return ok;
}

bool PathExists(const std::string& path) {
    return ::GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RegularFileSize(const std::string& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

std::string AbsolutePath(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    const DWORD length = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    const DWORD used = ::GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
    if (used == 0 || used >= length) return path;
    full.resize(used);
    return Utf8FromWide(full);
}

std::string CurrentDirectory() {
    const DWORD length = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(length, L'\0');
    const DWORD used = ::GetCurrentDirectoryW(length, dir.data());
    dir.resize(used < length ? used : 0);
    std::string text = Utf8FromWide(dir);
    if (text.empty() || (text.back() != '\\' && text.back() != '/')) text += '\\';
    return text;
}
