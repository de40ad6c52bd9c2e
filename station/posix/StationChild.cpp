#include "station/StationChild.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int kEventsDescriptor = 3;
constexpr int kReportDescriptor = 4;
// Where a held process waits for its release, until just before exec.
constexpr int kGateDescriptor = 5;

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

struct TStationChild::TNative {
    int Gate = -1;  // the write end of the gate: a byte releases the process, its end ends it
};

TStationChild::TStationChild(const std::string& program, const TArguments& args, int reportFd)
    : native_(std::make_unique<TNative>()) {
    int events[2], errors[2], gate[2];
    if (::pipe2(events, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        const int error = errno;
        for (const int fd : events) ::close(fd);
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(error));
    }
    if (::pipe2(gate, O_CLOEXEC) != 0) {
        const int error = errno;
        for (const int fd : {events[0], events[1], errors[0], errors[1]}) ::close(fd);
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(error));
    }
    std::vector<std::string> argv = {program};
    const std::vector<std::string> given = args(kEventsDescriptor, reportFd >= 0 ? kReportDescriptor : -1);
    argv.insert(argv.end(), given.begin(), given.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);

    // The ending signals stay blocked from before the fork to the unit's own record: a
    // signal the batch sends at once must not meet the batch's handlers in the new process.
    const pid_t station = ::getpid();
    sigset_t ending, previous;
    ::sigemptyset(&ending);
    for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) ::sigaddset(&ending, s);
    ::sigprocmask(SIG_BLOCK, &ending, &previous);
    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec. The descriptors are first moved
        // above the standard ones (close-on-exec, so the copies do not reach the program)
        // so that placing them cannot overwrite each other.
        // Its own copy of the gate's write end would keep the gate from ever ending.
        ::close(gate[1]);
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The batch may have died before the line above: then the signal is sent here,
        // and the unit's process writes its line and ends without touching the unit.
        if (::getppid() != station) ::kill(::getpid(), SIGTERM);
        const int ev = ::fcntl(events[1], F_DUPFD_CLOEXEC, 10);
        const int er = ::fcntl(errors[1], F_DUPFD_CLOEXEC, 10);
        const int rep = reportFd >= 0 ? ::fcntl(reportFd, F_DUPFD_CLOEXEC, 10) : -1;
        const int gt = ::fcntl(gate[0], F_DUPFD_CLOEXEC, 10);
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (ev < 0 || er < 0 || gt < 0 || null < 0 || (reportFd >= 0 && rep < 0)) ::_exit(127);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(er, STDERR_FILENO);
        ::dup2(ev, kEventsDescriptor);
        if (rep >= 0)
            ::dup2(rep, kReportDescriptor);
        else
            ::close(kReportDescriptor);
        ::dup2(gt, kGateDescriptor);
        // Whatever else this process holds (descriptors the batch itself inherited without
        // close-on-exec, from a shell or a test harness, and the other units' gates) does
        // not reach the unit's process.
        if (::close_range(kGateDescriptor + 1, ~0U, 0) != 0) {
            rlimit limit{};
            const rlim_t last =
                ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 65536) : 1024;
            for (rlim_t fd = kGateDescriptor + 1; fd < last; ++fd) ::close(static_cast<int>(fd));
        }
        // Held until the batch has made every unit's process: a byte releases it, the end
        // of the gate (the batch gave up, or died) ends it before it runs anything.
        char go = 0;
        ssize_t n;
        do {
            n = ::read(kGateDescriptor, &go, 1);
        } while (n < 0 && errno == EINTR);
        if (n != 1) ::_exit(127);
        ::close(kGateDescriptor);
        // The batch's own handling of SIGPIPE must not reach the unit's process.
        ::signal(SIGPIPE, SIG_DFL);
        ::execv(program.c_str(), pointers.data());
        ::_exit(127);
    }
    const int forkError = errno;
    if (pid_ > 0) ::setpgid(pid_, pid_);  // either side may get there first
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    ::close(events[1]);
    ::close(errors[1]);
    ::close(gate[0]);
    if (pid_ < 0) {
        ::close(events[0]);
        ::close(errors[0]);
        ::close(gate[1]);
        throw std::runtime_error(std::string("cannot start a process: ") + std::strerror(forkError));
    }
    native_->Gate = gate[1];
    events_ = events[0];
    errors_ = errors[0];
    ::fcntl(events_, F_SETFL, ::fcntl(events_, F_GETFL) | O_NONBLOCK);
    ::fcntl(errors_, F_SETFL, ::fcntl(errors_, F_GETFL) | O_NONBLOCK);
}

void TStationChild::Release() {
    if (native_->Gate < 0) return;
    const char go = 'g';
    ssize_t n;
    do {
        n = ::write(native_->Gate, &go, 1);
    } while (n < 0 && errno == EINTR);
    CloseFd(native_->Gate);
}

TStationChild::~TStationChild() {
    CloseFd(native_->Gate);
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    CloseFd(events_);
    CloseFd(errors_);
}

void TStationChild::Terminate() const {
    if (pid_ > 0 && !reaped_) ::kill(pid_, SIGTERM);
}

void TStationChild::Kill() const {
    if (pid_ <= 0 || reaped_) return;
    ::kill(pid_, SIGKILL);
    ::kill(pid_, SIGCONT);
}

bool TStationChild::TryReap(std::optional<int>& exitStatus, int& signal) {
    if (reaped_) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r != pid_) return false;
    reaped_ = true;
    if (WIFEXITED(status)) {
        exitStatus = WEXITSTATUS(status);
        signal = 0;
    } else {
        exitStatus.reset();
        signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return true;
}

bool TStationChild::ReadSome(int& fd, std::string& into) {
    if (fd < 0) return false;
    char buffer[8192];
    // A bounded number of reads per call, so one chatty process cannot hold the batch.
    for (int i = 0; i < 4; ++i) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        CloseFd(fd);
        return false;
    }
    return true;
}
