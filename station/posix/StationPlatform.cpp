#include "station/StationPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

volatile std::sig_atomic_t gInterrupts = 0;

void OnInterrupt(int) {
    gInterrupts = gInterrupts + 1;
}

// The descriptors this process has open now.
std::size_t OpenDescriptors() {
    std::size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        ::closedir(dir);
        return count - 1;  // the directory's own
    }
    for (int fd = 0; fd < 1024; ++fd) count += ::fcntl(fd, F_GETFD) != -1;
    return count;
}

}  // namespace

void TStationPlatform::CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction previous {};
        if (::sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(s, &action, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);
}

int TStationPlatform::Interrupts() {
    return gInterrupts;
}

std::vector<std::string> TStationPlatform::Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

int TStationPlatform::ProcessId() {
    return static_cast<int>(::getpid());
}

std::string TStationPlatform::OwnProgram() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) throw std::runtime_error("cannot find this program's own path");
    return std::string(path, static_cast<std::size_t>(n));
}

void TStationPlatform::EnsureDescriptors(std::size_t units, std::size_t perUnit, std::size_t toStart) {
    const rlim_t need = OpenDescriptors() + units * perUnit + toStart + 1;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= need)
        return;
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= need) {
        limit.rlim_cur = need;
        if (::setrlimit(RLIMIT_NOFILE, &limit) == 0) return;
    }
    throw std::runtime_error("a batch of " + std::to_string(units) + " units needs " + std::to_string(need) +
                             " open files, and this process may have " + std::to_string(limit.rlim_max) +
                             " (ulimit -n); nothing was started");
}

void TStationPlatform::WaitReadable(const std::vector<int>& fds, int ms, std::vector<bool>& ready) {
    std::vector<pollfd> polled;
    for (const int fd : fds) polled.push_back({fd, POLLIN, 0});
    ::poll(polled.data(), polled.size(), ms);
    ready.assign(fds.size(), false);
    for (std::size_t i = 0; i < polled.size(); ++i)
        ready[i] = (polled[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool TStationPlatform::WritePipe(int fd, const std::string& bytes) {
    // Without this a write to a pipe nobody reads would end the process with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno != EPIPE;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TStationPlatform::TableFits(std::FILE* out) {
    const char* term = std::getenv("TERM");
    return ::isatty(::fileno(out)) == 1 && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

void TStationPlatform::TerminalSize(std::FILE* out, std::size_t& columns, std::size_t& rows) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) != 0) size = winsize{};
    columns = size.ws_col;
    rows = size.ws_row;
}
