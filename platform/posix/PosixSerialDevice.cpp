#include "platform/posix/PosixSerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/posix/Termios2.h"

namespace {

// Owns a descriptor until released; closes it on every early return of Open.
class TFdOwner {
public:
    explicit TFdOwner(int fd) : fd_(fd) {}
    ~TFdOwner() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFdOwner(const TFdOwner&) = delete;
    TFdOwner& operator=(const TFdOwner&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Asks the driver to hand received bytes on without its usual batching delay. Drivers
// without the notion refuse the ioctl, which is fine. True when this call set the flag
// (it was off and the driver took it), so that closing can put it back.
bool RequestLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    if (serial.flags & ASYNC_LOW_LATENCY) return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

// The flag belongs to the driver and outlives the descriptor: it is a system-wide setting
// of the port, which the program must not leave changed.
void ReleaseLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || !(serial.flags & ASYNC_LOW_LATENCY)) return;
    serial.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &serial);
}

// Who holds a lock on the file, as the kernel lists its locks in /proc/locks ("1: FLOCK
// ADVISORY  WRITE 4025 fe:00:247066 0 EOF": the holder's pid, then the file's device, as
// hexadecimal major and minor, and inode): "process 4025 (bootloader-cli)", or empty when no
// lock on it is listed (a port held only by the terminal's exclusive mode).
std::string LockHolder(const struct stat& info) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", ::major(info.st_dev), ::minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        if (!(fields >> number >> kind >> mode >> access >> pid >> file) || file != wanted) continue;
        std::string name;
        std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
        return "process " + pid + (name.empty() ? "" : " (" + name + ")");
    }
    return {};
}

// What an errno of a failed open or lock says of the device.
TPortOpenFailure::TReason ReasonOf(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO:  // a terminal without its hardware, or a pseudo-terminal whose other end is gone
            return TPortOpenFailure::TReason::Missing;
        case EBUSY:
        case EWOULDBLOCK:
            return TPortOpenFailure::TReason::Busy;
        default:
            return TPortOpenFailure::TReason::Refused;
    }
}

// Where path leads through its symbolic links, dangling ones included: a ports-directory
// entry names the device the operator linked, which says more than the entry.
std::string LinkTarget(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path at = path;
    std::error_code error;
    for (int hops = 0; hops < 8 && fs::is_symlink(fs::symlink_status(at, error)); ++hops) {
        const fs::path target = fs::read_symlink(at, error);
        if (error) break;
        at = target.is_absolute() ? target : (at.parent_path() / target).lexically_normal();
    }
    return at.string();
}

// The failure of an open or lock of path that ended with error; fd is the descriptor the
// lock was asked on, or -1 when the open itself failed.
TPortOpenFailure FailureOf(const std::string& path, int fd, int error) {
    TPortOpenFailure failure;
    failure.Reason = ReasonOf(error);
    failure.Device = LinkTarget(path);
    failure.SystemText = std::strerror(error);
    struct stat info {};
    if (failure.Reason == TPortOpenFailure::TReason::Busy &&
        (fd >= 0 ? ::fstat(fd, &info) : ::stat(path.c_str(), &info)) == 0) {
        failure.Holder = LockHolder(info);
        // A held flock fails with "Resource temporarily unavailable", which says less than
        // the holder does.
        if (!failure.Holder.empty()) failure.SystemText.clear();
    }
    return failure;
}

// How long a write may wait without the driver taking a single byte before it counts as
// failed. A UART drains its buffer at the line rate whatever the peer does; a line that
// takes nothing for this long is held by flow control or by a peer that stopped reading,
// and waiting on would hang the program without a word.
constexpr int kWriteStallLimitMs = 30000;

}  // namespace

TPosixSerialDevice::TOpenResult TPosixSerialDevice::Open(const std::string& path) {
    TOpenResult result;
    TFdOwner fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        result.Failure = FailureOf(path, -1, errno);
        return result;
    }
    // Another process, or another open of this one, holding the device makes it busy.
    // The lock goes with the descriptor and so ends with it. The lock is part of opening
    // the device exclusively, so it comes before the kind is checked: whatever a locked
    // entry is, it is a port in use, not a wrong kind of device.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        result.Failure = FailureOf(path, fd.Get(), errno);
        return result;
    }
    if (!::isatty(fd.Get())) {
        result.Failure.Reason = TPortOpenFailure::TReason::NotASerialPort;
        result.Failure.Device = path;
        return result;
    }
    // Exclusive mode makes further opens of the terminal fail for everyone but root;
    // the flock above covers root as well.
    ioctl(fd.Get(), TIOCEXCL);
    const bool setLowLatency = RequestLowLatency(fd.Get());

    result.Device.reset(new TPosixSerialDevice(fd.Release(), path));
    result.Device->releaseLowLatency_ = setLowLatency;
    return result;
}

TPosixSerialDevice::TPosixSerialDevice(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

TPosixSerialDevice::~TPosixSerialDevice() {
    // Exclusive mode belongs to the terminal, not to this descriptor: left set, it would
    // outlast the close as long as the terminal lives (a pseudo-terminal whose master
    // stays open), and refuse the next opener.
    ioctl(fd_, TIOCNXCL);
    if (releaseLowLatency_) ReleaseLowLatency(fd_);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

bool TPosixSerialDevice::WriteAll(const std::uint8_t* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t written = ::write(fd_, data + done, length - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waitFor{fd_, POLLOUT, 0};
            const int ready = ::poll(&waitFor, 1, kWriteStallLimitMs);
            if (ready == 0 || (ready < 0 && errno != EINTR)) return false;
            if (ready > 0 && (waitFor.revents & (POLLERR | POLLHUP | POLLNVAL)) &&
                !(waitFor.revents & POLLOUT))
                return false;
            continue;
        }
        // A write of 0 bytes for a non-empty request, or a real error.
        return false;
    }
    return true;
}

void TPosixSerialDevice::Purge(unsigned what) {
    const bool rx = (what & kPurgeRx) != 0;
    const bool tx = (what & kPurgeTx) != 0;
    if (rx && tx)
        ::tcflush(fd_, TCIOFLUSH);
    else if (rx)
        ::tcflush(fd_, TCIFLUSH);
    else if (tx)
        ::tcflush(fd_, TCOFLUSH);
}

namespace {

bool HangsUpOnClose(int fd) {
    termios settings{};
    return ::tcgetattr(fd, &settings) == 0 && (settings.c_cflag & HUPCL) != 0;
}

}  // namespace

void TPosixSerialDevice::ShowCloseOnLine() {
    if (!HangsUpOnClose(fd_)) return;
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd_, TIOCMBIC, &lines);
}

void TPosixSerialDevice::ShowOpenOnLine() {
    if (!HangsUpOnClose(fd_)) return;
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd_, TIOCMBIS, &lines);
}

bool TPosixSerialDevice::StillPresent() const {
    // A hung-up terminal answers every request but a few with EIO.
    termios settings{};
    return ::tcgetattr(fd_, &settings) == 0;
}

std::uint32_t TPosixSerialDevice::ApplyLineSettings(const TLineSettings& settings) {
    return Termios2ApplyLineSettings(fd_, settings);
}
