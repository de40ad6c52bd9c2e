#include "tests/modbus/PtyBridge.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "support/PtyIo.h"

TPtyBridge::TPtyBridge() {
    near_.HoldSlaveOpen();
    far_.HoldSlaveOpen();
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    relay_ = std::thread([this] { Relay(); });
}

TPtyBridge::~TPtyBridge() {
    const std::uint64_t one = 1;
    (void)!::write(stopFd_, &one, sizeof one);
    relay_.join();
    ::close(stopFd_);
}

void TPtyBridge::Relay() {
    pollfd fds[3] = {{near_.MasterFd(), POLLIN, 0}, {far_.MasterFd(), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int to[2] = {far_.MasterFd(), near_.MasterFd()};
    std::uint8_t buffer[4096];
    for (;;) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[2].revents != 0) return;
        for (int side = 0; side < 2; ++side) {
            if ((fds[side].revents & POLLIN) == 0) continue;
            const ssize_t n = ::read(fds[side].fd, buffer, sizeof buffer);
            if (n > 0 && !WriteFully(to[side], TBytes(buffer, buffer + n))) return;
        }
    }
}
