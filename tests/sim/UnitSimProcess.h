#pragma once

// unitsim started as a child process for a test, its ready line and its pseudo-terminal.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace simtest {

// Generous bound for a process to answer or end; it only keeps a broken run from hanging.
constexpr int kPatienceMs = 10000;

// BOOTLOADER_BIN_DIR under CTest; run by hand, the programs beside the tests' folder.
inline std::string UnitSimPath() {
    if (const char* dir = std::getenv("BOOTLOADER_BIN_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/unitsim";
    }
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "unitsim")
        .string();
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

// Reads until count bytes have come or the line stays quiet for the patience bound.
inline std::vector<std::uint8_t> ReadBytes(int fd, std::size_t count) {
    std::vector<std::uint8_t> got;
    pollfd p{fd, POLLIN, 0};
    while (got.size() < count && ::poll(&p, 1, kPatienceMs) > 0 && (p.revents & POLLIN)) {
        std::uint8_t buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace simtest
