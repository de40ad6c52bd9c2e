// One Modbus read round trip over a pseudo-terminal, through the real port layer, receive
// thread and Qt message loop: the client reads two holding registers from a responder
// thread that answers on the master side. Prints the median and spread of 1000 trips.
//
//   modbus_roundtrip [trips]

#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/LumoComms.h"
#include "link/posix/PosixPortFactory.h"
#include "modbus/ModBusPro.h"
#include "platform/posix/PseudoTerminal.h"
#include "platform/qt/QtMessageLoop.h"

namespace {

constexpr std::uint8_t kSlave = 19;

// Answers every 8-byte read request that arrives on fd with the register numbers as values.
void Respond(int fd, int stopFd) {
    std::vector<std::uint8_t> pending;
    std::uint8_t buffer[512];
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    while (::poll(fds, 2, -1) > 0 && fds[1].revents == 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) continue;
        pending.insert(pending.end(), buffer, buffer + n);
        while (pending.size() >= 8) {
            const std::uint16_t first = static_cast<std::uint16_t>(pending[2] << 8 | pending[3]);
            const std::uint16_t count = static_cast<std::uint16_t>(pending[4] << 8 | pending[5]);
            pending.erase(pending.begin(), pending.begin() + 8);
            std::vector<std::uint8_t> reply = {kSlave, 3, static_cast<std::uint8_t>(2 * count)};
            for (std::uint16_t i = 0; i < count; ++i) {
                reply.push_back(static_cast<std::uint8_t>((first + i) >> 8));
                reply.push_back(static_cast<std::uint8_t>(first + i));
            }
            const std::uint16_t crc =
                ModbusCrc16(reply.data(), 0, static_cast<std::uint16_t>(reply.size() - 1));
            reply.push_back(static_cast<std::uint8_t>(crc >> 8));
            reply.push_back(static_cast<std::uint8_t>(crc & 0xFF));
            if (::write(fd, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) return;
        }
    }
}

double Percentile(const std::vector<double>& sorted, double p) {
    return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const int trips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    QCoreApplication application(argc, argv);

    // A ports directory of its own whose COM1 is the pseudo-terminal's slave.
    std::string directory = (std::filesystem::temp_directory_path() / "modbus-roundtrip-XXXXXX").string();
    if (::mkdtemp(directory.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    TPseudoTerminal pty;
    pty.HoldSlaveOpen();
    std::filesystem::create_symlink(pty.SlavePath(), std::filesystem::path(directory) / "COM1");
    ::setenv("BOOTLOADER_PORTS", directory.c_str(), 1);

    const int stopFd = ::eventfd(0, EFD_CLOEXEC);
    std::thread responder(Respond, pty.MasterFd(), stopFd);

    int status = 0;
    {
        TQtMessageLoop loop;
        TLumoComms link(loop, std::make_shared<TPosixPortFactory>(directory));
        link.BaudRate = 115200;
        link.RxBufferSize = 500;
        if (!link.Open()) {
            std::fprintf(stderr, "cannot open COM1\n");
            status = 1;
        } else {
            std::vector<double> micros;
            micros.reserve(static_cast<std::size_t>(trips));
            std::array<std::uint16_t, 2> values{};
            for (int i = 0; i < trips && status == 0; ++i) {
                const auto start = std::chrono::steady_clock::now();
                const std::int32_t result = ModbusReadRegisters(link, kSlave, 3, 20, 2, 20, values);
                const auto end = std::chrono::steady_clock::now();
                if (result != 1 || values[0] != 20 || values[1] != 21) {
                    std::fprintf(stderr, "trip %d: result %d\n", i, result);
                    status = 1;
                }
                micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
            }
            if (status == 0) {
                std::sort(micros.begin(), micros.end());
                std::printf(
                    "Modbus read round trip over a pseudo-terminal, %d trips: median %.0f us, "
                    "p10 %.0f us, p90 %.0f us, max %.0f us\n",
                    trips, Percentile(micros, 0.5), Percentile(micros, 0.1), Percentile(micros, 0.9),
                    micros.back());
            }
        }
    }

    const std::uint64_t one = 1;
    (void)!::write(stopFd, &one, sizeof one);
    responder.join();
    ::close(stopFd);
    std::filesystem::remove_all(directory);
    return status;
}
