#include "platform/posix/PosixSerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
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
        result.Error = errno;
        return result;
    }
    // Another process, or another open of this one, holding the device makes it busy.
    // The lock goes with the descriptor and so ends with it. The lock is part of opening
    // the device exclusively, so it comes before the kind is checked: whatever a locked
    // entry is, it is a port in use, not a wrong kind of device.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        result.Error = errno;
        return result;
    }
    if (!::isatty(fd.Get())) {
        result.NotATerminal = true;
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
