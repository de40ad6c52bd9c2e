// unitsim as a process, reached over its pseudo-terminal with plain termios calls.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestPortsDirectory.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Generous bound for a process to answer or end; it only keeps a broken run from hanging.
constexpr int kPatienceMs = 10000;

// BOOTLOADER_BIN_DIR under CTest; run by hand, the programs beside the tests' folder.
std::string UnitSimPath() {
    if (const char* dir = std::getenv("BOOTLOADER_BIN_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/unitsim";
    }
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "unitsim").string();
}

class TUnitSimProcess {
public:
    explicit TUnitSimProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            const std::string path = UnitSimPath();
            argv.push_back(const_cast<char*>(path.c_str()));
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = out[0];
    }
    ~TUnitSimProcess() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(stdout_);
    }

    // The first line the program prints.
    std::string ReadLine() {
        std::string line;
        char c;
        pollfd p{stdout_, POLLIN, 0};
        while (::poll(&p, 1, kPatienceMs) > 0 && ::read(stdout_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // The exit status, or -1 when the process did not end in time or ended otherwise.
    int Wait() {
        for (int waited = 0; waited < kPatienceMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool ended_ = false;
};

int OpenRaw(const std::string& path, speed_t speed) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    t.c_cflag &= ~(CSTOPB | PARENB);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads until count bytes have come or the line stays quiet for the patience bound.
Bytes ReadBytes(int fd, std::size_t count) {
    Bytes got;
    pollfd p{fd, POLLIN, 0};
    while (got.size() < count && ::poll(&p, 1, kPatienceMs) > 0 && (p.revents & POLLIN)) {
        std::uint8_t buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(UnitSimProcess, AnswersModbusOverItsPortAndCleansUpOnSigterm) {
    TTestPortsDirectory ports;
    const auto dump = ports.Path() / "flash.bin";
    Bytes initial(3000);
    for (std::size_t i = 0; i < initial.size(); ++i) initial[i] = std::uint8_t(i * 13);
    const std::string init = ports.WriteFile("init.bin", std::string(initial.begin(), initial.end()));

    TUnitSimProcess sim({"--ports-dir", ports.Path().string(), "--port", "7", "--model", "6155", "--version", "109",
                         "--flash-init", init, "--flash-dump", dump.string()});
    const std::string ready = sim.ReadLine();
    ASSERT_EQ(ready.rfind("unitsim: COM7 -> /dev/pts/", 0), 0u) << ready;
    const std::string slave = ready.substr(ready.find("/dev/"));
    ASSERT_EQ(std::filesystem::read_symlink(ports.Entry(7)).string(), slave);

    const int fd = OpenRaw(ports.Entry(7), B9600);
    ASSERT_GE(fd, 0);
    const Bytes request{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D};
    ASSERT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
    // Model 6155 = 0x180B, version 109 = 0x006D, then the CRC of the reply.
    EXPECT_EQ(ReadBytes(fd, 9), (Bytes{0x13, 0x03, 0x04, 0x18, 0x0B, 0x00, 0x6D, 0x7E, 0xBD}));
    ::close(fd);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ports.Entry(7))));
    const Bytes flash = ReadFile(dump);
    ASSERT_EQ(flash.size(), 65536u);
    EXPECT_TRUE(std::equal(initial.begin(), initial.end(), flash.begin()));
    EXPECT_EQ(flash[3000], 0xFF);
    EXPECT_EQ(flash[65535], 0xFF);
}

TEST(UnitSimProcess, HangUpFaultDropsTheLine) {
    TTestPortsDirectory ports;
    TUnitSimProcess sim({"--ports-dir", ports.Path().string(), "--port", "2", "--hang-up-at", "1"});
    const std::string ready = sim.ReadLine();
    ASSERT_EQ(ready.rfind("unitsim: COM2 -> /dev/pts/", 0), 0u) << ready;
    const int fd = OpenRaw(ports.Entry(2), B9600);
    ASSERT_GE(fd, 0);
    const Bytes request{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D};
    ASSERT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
    EXPECT_EQ(sim.Wait(), 0);
    // The slave now reports the hang-up instead of a reply.
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kPatienceMs), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
    ::close(fd);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ports.Entry(2))));
}

TEST(UnitSimProcess, RefusesToTakeOverAnotherEntry) {
    TTestPortsDirectory ports;
    ports.WriteFile("COM4", "not a link");
    TUnitSimProcess sim({"--ports-dir", ports.Path().string(), "--port", "4"});
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_EQ(ReadFile(ports.Entry(4)), (Bytes{'n', 'o', 't', ' ', 'a', ' ', 'l', 'i', 'n', 'k'}));
}
