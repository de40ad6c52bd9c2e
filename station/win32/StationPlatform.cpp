#include "station/StationPlatform.h"

#include <windows.h>
// After windows.h, which they build on.
#include <io.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>

#include "platform/win32/SystemText.h"
#include "platform/win32/WideText.h"
#include "station/win32/StationPipes.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

std::atomic<int> gInterrupts{0};

BOOL WINAPI OnControl(DWORD event) {
    gInterrupts.fetch_add(1);
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return TRUE;
        default:
            // The console closes (or the session ends): the system ends this process once
            // the handler returns, or after its own few seconds. Not returning gives the
            // batch that time to end its units and write their lines; the batch's exit ends
            // this thread with the rest. Should the system end the process first, the
            // units' own records still write every line.
            ::Sleep(INFINITE);
            return TRUE;
    }
}

HANDLE HandleOf(std::FILE* out) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(out)));
}

}  // namespace

void TStationPlatform::CatchInterrupts() {
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

int TStationPlatform::Interrupts() {
    return gInterrupts.load();
}

std::vector<std::string> TStationPlatform::Arguments(int, char**) {
    return CommandLineArguments();
}

int TStationPlatform::ProcessId() {
    return static_cast<int>(::GetCurrentProcessId());
}

std::string TStationPlatform::OwnProgram() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) throw std::runtime_error("cannot find this program's own path");
        if (n < path.size()) {
            path.resize(n);
            return Utf8FromWide(path);
        }
        path.resize(path.size() * 2);
    }
}

void TStationPlatform::EnsureDescriptors(std::size_t, std::size_t, std::size_t) {
    // A process may hold millions of handles: nothing to make room for.
}

void TStationPlatform::WaitReadable(const std::vector<int>& fds, int ms, std::vector<bool>& ready) {
    StationPipes::Wait(fds, ms, ready);
}

bool TStationPlatform::WritePipe(int fd, const std::string& bytes) {
    const HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        // Fails only when the reader has gone (or the handle is none).
        if (!::WriteFile(pipe, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr))
            return false;
        done += n;
    }
    return true;
}

bool TStationPlatform::TableFits(std::FILE* out) {
    // Log lines and messages are UTF-8 text; a console shows them as such.
    ::SetConsoleOutputCP(CP_UTF8);
    const HANDLE console = HandleOf(out);
    DWORD mode = 0;
    if (!::GetConsoleMode(console, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void TStationPlatform::TerminalSize(std::FILE* out, std::size_t& columns, std::size_t& rows) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(HandleOf(out), &info)) {
        columns = rows = 0;
        return;
    }
    columns = static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    rows = static_cast<std::size_t>(info.srWindow.Bottom - info.srWindow.Top + 1);
}
