// The headless runner on Windows: the Win32 message loop and COM ports.
#include <windows.h>
// After windows.h, which it builds on.

#include "cli/RunnerPlatform.h"
#include "link/win32/Win32PortFactory.h"
#include "platform/win32/SystemText.h"
#include "platform/win32/Win32MessageLoop.h"

struct TRunnerPlatform::TImpl {
    TWin32MessageLoop Loop;
    std::vector<std::string> Arguments;
    bool QuitRequested = false;
};

TRunnerPlatform::TRunnerPlatform(int&, char**) : impl_(std::make_unique<TImpl>()) {
    impl_->Arguments = CommandLineArguments();
    // Log lines and messages are UTF-8 text; a console shows them as such.
    ::SetConsoleOutputCP(CP_UTF8);
}

TRunnerPlatform::~TRunnerPlatform() = default;

const std::vector<std::string>& TRunnerPlatform::Arguments() const {
    return impl_->Arguments;
}

TMessageLoop& TRunnerPlatform::Loop() {
    return impl_->Loop;
}

std::shared_ptr<TPortFactory> TRunnerPlatform::MakePortFactory(
    const std::string&, const std::optional<std::string>& device) const {
    if (device) return TWin32PortFactory::ForDevice(*device);
    return std::make_shared<TWin32PortFactory>();
}

void TRunnerPlatform::Exec() {
    while (!impl_->QuitRequested) impl_->Loop.WaitAndDispatch();
}

void TRunnerPlatform::Quit() {
    impl_->QuitRequested = true;
    impl_->Loop.Wake();
}

bool TRunnerPlatform::OutputIsTerminal() const {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool TRunnerPlatform::TerminalErasesLines() const {
    // A console takes the erase sequence only with virtual terminal processing on (Windows
    // 10 and later), and Wine's console on a Unix terminal prints it as text even then:
    // blanks over the rest of the old text work on every console.
    return false;
}

const char* TRunnerPlatform::PortHelp() {
    return "  COM<N> is the port the system names so (\"COM1\" .. \"COM9\", then \"\\\\.\\COM10\" and\n"
           "  up); --device takes such a name (\"\\\\.\\COM3\", say).\n";
}
