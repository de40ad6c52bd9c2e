#include "link/posix/RxThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>
#include <utility>

#include "link/ChunkPost.h"

namespace {

// A read error followed by another, with no byte in between, means the line is gone.
// A single one (a driver reporting a line error) lets reception go on.
constexpr unsigned kFailedReadsToEnd = 2;

// Steps of niceness the thread asks above the process: received bytes should be picked
// up promptly after the 1 ms quiet time even while the user-interface thread is busy.
constexpr int kPriorityBoost = 2;

constexpr timespec kQuietTime{0, 1000000};

void RaisePriority() {
    const pid_t self = ::gettid();
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(self));
    if (nice == -1 && errno != 0) return;
    // Needs CAP_SYS_NICE or a nice limit that allows it; without, the thread runs as is.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(self), nice - kPriorityBoost);
}

}  // namespace

std::unique_ptr<TRxThread> TRxThread::Start(int fd, TMessageLoop& loop, TChunkHandler onChunk) {
    if (fd < 0) return nullptr;
    const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd < 0) return nullptr;
    std::unique_ptr<TRxThread> receiver;
    try {
        receiver.reset(new TRxThread(fd, stopFd, loop, std::move(onChunk)));
    } catch (...) {
        ::close(stopFd);
        return nullptr;
    }
    try {
        receiver->thread_ = std::thread(&TRxThread::ReceiveLoop, receiver.get());
    } catch (const std::system_error&) {
        return nullptr;
    }
    return receiver;
}

TRxThread::TRxThread(int fd, int stopFd, TMessageLoop& loop, TChunkHandler onChunk)
    : fd_(fd),
      stopFd_(stopFd),
      loop_(loop),
      onChunk_(std::make_shared<const TChunkHandler>(std::move(onChunk))),
      buffer_(new std::uint8_t[kReadBufferSize]) {}

TRxThread::~TRxThread() {
    Stop();
    ::close(stopFd_);
}

void TRxThread::Stop() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    // Cannot fail short of a counter overflow; the thread sees the event as readable.
    [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
}

void TRxThread::ReceiveLoop() {
    RaisePriority();
    try {
        while (true) {
            held_ = 0;
            if (!WaitForFirstBytes() || !ReadUntilQuiet() || !DeliverChunk(held_) || lineEnded_) break;
        }
    } catch (...) {
        // Nothing may escape a thread body; ending quietly is this thread's way to fail.
    }
    // Whatever the driver still holds will never be delivered: discard it, so that it
    // cannot surface in a later reception on this line.
    ::tcflush(fd_, TCIFLUSH);
    ended_.store(true, std::memory_order_release);
}

TRxThread::TReadOutcome TRxThread::ReadAvailable() {
    const ssize_t n = ::read(fd_, buffer_.get() + held_, kReadBufferSize - held_);
    if (n > 0) {
        held_ += static_cast<std::size_t>(n);
        failedReads_ = 0;
        return TReadOutcome::Data;
    }
    if (n == 0) {
        // The line is set up so that only a hang-up reads 0 bytes.
        lineEnded_ = true;
        return TReadOutcome::HangUp;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return TReadOutcome::Nothing;
    if (errno == EIO && ++failedReads_ < kFailedReadsToEnd) return TReadOutcome::Nothing;
    lineEnded_ = true;
    return TReadOutcome::Failed;
}

bool TRxThread::WaitForFirstBytes() {
    pollfd watched[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    while (held_ == 0) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (watched[0].revents != 0 || (watched[1].revents & POLLNVAL)) return false;
        if (watched[1].revents == 0) continue;
        // POLLHUP and POLLERR are read as well: the read tells a hang-up (0 bytes) from an
        // error, and does not leave the descriptor ready for the next poll to spin on.
        const TReadOutcome outcome = ReadAvailable();
        if (outcome == TReadOutcome::HangUp || outcome == TReadOutcome::Failed) return false;
    }
    return true;
}

bool TRxThread::ReadUntilQuiet() {
    pollfd watched[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    while (held_ < kReadBufferSize && !lineEnded_) {
        const int ready = ::ppoll(watched, 2, &kQuietTime, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (ready == 0) break;
        if (watched[0].revents != 0 || (watched[1].revents & POLLNVAL)) return false;
        if (watched[1].revents == 0) continue;
        // A hang-up or failure still delivers what was read before it; the loop then ends.
        ReadAvailable();
    }
    return true;
}

bool TRxThread::DeliverChunk(std::size_t n) {
    if (n == 0) return true;
    if (!*onChunk_) return true;
    return PostChunk(loop_, onChunk_, buffer_.get(), n);
}
