// The headless runner on Linux: the QtCore message loop and POSIX serial ports.
#include <unistd.h>

#include <QCoreApplication>

#include "cli/RunnerPlatform.h"
#include "link/posix/PosixPortFactory.h"
#include "platform/qt/QtMessageLoop.h"

struct TRunnerPlatform::TImpl {
    TImpl(int& argc, char** argv) : App(argc, argv) {
        for (int i = 1; i < argc; ++i) Arguments.emplace_back(argv[i]);
    }
    QCoreApplication App;
    TQtMessageLoop Loop;
    std::vector<std::string> Arguments;
};

TRunnerPlatform::TRunnerPlatform(int& argc, char** argv) : impl_(std::make_unique<TImpl>(argc, argv)) {}

TRunnerPlatform::~TRunnerPlatform() = default;

const std::vector<std::string>& TRunnerPlatform::Arguments() const {
    return impl_->Arguments;
}

TMessageLoop& TRunnerPlatform::Loop() {
    return impl_->Loop;
}

std::shared_ptr<TPortFactory> TRunnerPlatform::MakePortFactory(
    const std::string& baseDir, const std::optional<std::string>& device) const {
    if (device) return TPosixPortFactory::ForDevice(*device);
    return std::make_shared<TPosixPortFactory>(baseDir);
}

void TRunnerPlatform::Exec() {
    impl_->App.exec();
}

void TRunnerPlatform::Quit() {
    impl_->App.quit();
}

bool TRunnerPlatform::OutputIsTerminal() const {
    return isatty(STDOUT_FILENO) == 1;
}

bool TRunnerPlatform::TerminalErasesLines() const {
    return true;
}

const char* TRunnerPlatform::PortHelp() {
    return "  COM<N> is found in the ports directory (the one BOOTLOADER_PORTS names, else\n"
           "  ports/ in the working directory): an entry COM<N> there is a symbolic link\n"
           "  to the device; without one, COM<N> is /dev/ttyS<N-1>.\n";
}
