#include "bench/ChildProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "support/ChildSpawn.h"

extern char** environ;

TChildProgram::TChildProgram(const std::string& path, const std::vector<std::string>& args,
                             const std::string& workDir, const std::string& stdoutFile,
                             const std::string& stderrFile, const std::vector<std::string>& extraEnv) {
    // Everything the child needs is prepared before fork (SpawnChild).
    std::vector<std::string> argStore;
    argStore.push_back(path);
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) envStore.emplace_back(*e);
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    const int out = ::open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || err < 0) {
        if (out >= 0) ::close(out);
        if (err >= 0) ::close(err);
        throw std::runtime_error("cannot create the output files of " + path);
    }
    started_ = std::chrono::steady_clock::now();
    pid_ = SpawnChild(path, argv.data(), envp.data(), out, err, workDir);
    ::close(out);
    ::close(err);
    if (pid_ < 0) throw std::runtime_error("cannot start " + path);
}

TChildProgram::~TChildProgram() {
    if (Running()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void TChildProgram::Signal(int sig) const {
    if (Running()) ::kill(pid_, sig);
}

bool TChildProgram::Reap(int options, TOutcome& outcome) {
    int status = 0;
    rusage usage{};
    pid_t r;
    do {
        r = ::wait4(pid_, &status, options, &usage);
    } while (r < 0 && errno == EINTR);
    if (r != pid_) return false;
    reaped_ = true;
    outcome.Ended = true;
    outcome.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    outcome.UserSeconds = static_cast<double>(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6;
    outcome.SystemSeconds = static_cast<double>(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6;
    outcome.PeakRssKb = usage.ru_maxrss;
    if (WIFEXITED(status)) outcome.ExitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.Signal = WTERMSIG(status);
    return true;
}

TChildProgram::TOutcome TChildProgram::Wait(int timeoutMs) {
    TOutcome outcome;
    if (!Running()) return outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // A pidfd turns readable when the child ends, so the end is seen at once and its wall
    // time is exact; without one (an old kernel) the wait polls.
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    auto pause = std::chrono::microseconds(200);
    while (true) {
        if (Reap(WNOHANG, outcome)) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid_, SIGKILL);
            Reap(0, outcome);
            outcome.Ended = false;
            break;
        }
        if (pidFd >= 0) {
            pollfd p{pidFd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        } else {
            std::this_thread::sleep_for(pause);
            pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
        }
    }
    if (pidFd >= 0) ::close(pidFd);
    return outcome;
}

std::string TChildProgram::ProgramDirectory() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}
