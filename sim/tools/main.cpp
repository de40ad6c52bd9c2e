// unitsim: a simulated controller unit served on a pseudo-terminal.

#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/SimCommandLine.h"
#include "sim/tools/UnitSimServer.h"

namespace {

std::vector<std::uint8_t> ReadFlashImage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > 0x10000) throw std::runtime_error(path + " is larger than 65536 bytes");
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    TUnitSimOptions options;
    try {
        options = TSimCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const ESimUsage& e) {
        std::fprintf(stderr, "unitsim: %s\n(unitsim --help lists the options)\n", e.what());
        return 2;
    }
    if (options.Help) {
        std::fputs(TSimCommandLine::Usage().c_str(), stdout);
        return 0;
    }

    // Termination requests arrive through a descriptor the server polls, so that they are
    // handled between two exchanges and the link is always removed.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        std::perror("unitsim: signalfd");
        return 1;
    }

    try {
        if (!options.FlashInitFile.empty())
            options.Config.InitialFlash = ReadFlashImage(options.FlashInitFile);
        TUnitSimServer server(options);
        std::printf("unitsim: %s -> %s\n", server.LinkName().c_str(), server.SlavePath().c_str());
        std::fflush(stdout);
        return server.Run(signalFd);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unitsim: %s\n", e.what());
        return 1;
    }
}
