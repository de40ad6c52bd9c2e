#pragma once

// A program of this project run as a child process by a test: its arguments, working
// directory and standard output and error, and its exit status.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildSpawn.h"

// BOOTLOADER_BIN_DIR under CTest; otherwise the directory compiled into the test. An
// absolute path names the program itself.
inline std::string ProgramPath(const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    if (const char* dir = std::getenv("BOOTLOADER_BIN_DIR"); dir != nullptr && *dir != '\0')
        return std::string(dir) + "/" + name;
#ifdef BOOTLOADER_BIN_DIR
    return std::string(BOOTLOADER_BIN_DIR) + "/" + name;
#else
    return name;
#endif
}

class TChildProcess {
public:
    // Generous bound for a process to answer or end; it only keeps a broken run from hanging.
    static constexpr int kPatienceMs = 60000;

    TChildProcess(const std::string& program, std::vector<std::string> args,
                  const std::string& workDir = "") {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        std::string path = ProgramPath(program);
        std::vector<char*> argv;
        argv.push_back(path.data());
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = SpawnChild(path, argv.data(), nullptr, out[1], err[1], workDir);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~TChildProcess() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // The next line of standard output (without its newline); empty when none came in time.
    std::string ReadLine() {
        std::string line;
        char c;
        pollfd p{out_, POLLIN, 0};
        while (::poll(&p, 1, kPatienceMs) > 0 && ::read(out_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // Collects standard output and error until the process ends; its exit status, or -1
    // when it did not end in time or was killed by a signal.
    int Wait() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        bool outOpen = true, errOpen = true;
        while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
            pollfd p[2] = {{outOpen ? out_ : -1, POLLIN, 0}, {errOpen ? err_ : -1, POLLIN, 0}};
            if (::poll(p, 2, 100) <= 0) continue;
            outOpen = Drain(p[0], out_, Stdout) && outOpen;
            errOpen = Drain(p[1], err_, Stderr) && errOpen;
        }
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    std::string Stdout;
    std::string Stderr;

private:
    // False once the pipe has reached its end.
    static bool Drain(const pollfd& p, int fd, std::string& into) {
        if (p.fd < 0) return false;
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) return true;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool ended_ = false;
};
