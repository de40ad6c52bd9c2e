#include "link/win32/Win32RxThread.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// A read that a line error aborted, twice in a row with no byte in between, means the port
// is gone rather than the line noisy.
constexpr unsigned kAbortedReadsToEnd = 2;

struct TChunkHolder {
    std::unique_ptr<std::uint8_t[]> Block;
};

}  // namespace

std::unique_ptr<TWin32RxThread> TWin32RxThread::Start(HANDLE port, TMessageLoop& loop,
                                                      TChunkHandler onChunk) {
    const HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop == nullptr) return nullptr;
    std::unique_ptr<TWin32RxThread> receiver;
    try {
        receiver.reset(new TWin32RxThread(port, stop, loop, std::move(onChunk)));
    } catch (...) {
        ::CloseHandle(stop);
        return nullptr;
    }
    receiver->thread_ =
        ::CreateThread(nullptr, 0, &TWin32RxThread::ThreadBody, receiver.get(), CREATE_SUSPENDED, nullptr);
    if (receiver->thread_ == nullptr) return nullptr;
    if (!::SetThreadPriority(receiver->thread_, THREAD_PRIORITY_HIGHEST) ||
        ::ResumeThread(receiver->thread_) == static_cast<DWORD>(-1)) {
        // The destructor must not wait for a thread that never ran.
        ::TerminateThread(receiver->thread_, 0);
        ::CloseHandle(receiver->thread_);
        receiver->thread_ = nullptr;
        return nullptr;
    }
    return receiver;
}

TWin32RxThread::TWin32RxThread(HANDLE port, HANDLE stop, TMessageLoop& loop, TChunkHandler onChunk)
    : port_(port),
      stop_(stop),
      loop_(loop),
      onChunk_(std::make_shared<const TChunkHandler>(std::move(onChunk))),
      buffer_(new std::uint8_t[kReadBufferSize]) {}

TWin32RxThread::~TWin32RxThread() {
    if (thread_ != nullptr) {
        ::SetEvent(stop_);
        // The thread ends its requests itself; it never stays in a wait that Stop does not end.
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
    }
    ::CloseHandle(stop_);
}

DWORD WINAPI TWin32RxThread::ThreadBody(void* self) {
    static_cast<TWin32RxThread*>(self)->ReceiveLoop();
    return 0;
}

bool TWin32RxThread::StopSignalled() const {
    return ::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0;
}

void TWin32RxThread::ReceiveLoop() {
    readRequest_.hEvent = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    waitRequest_.hEvent = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    try {
        if (readRequest_.hEvent != nullptr && waitRequest_.hEvent != nullptr) {
            // Wine 8 fails the EV_ERR wait at once (error 995): reception then goes on
            // without it (see StartWait).
            watchingErrors_ = ::SetCommMask(port_, EV_ERR) != 0;
            bool running = StartWait() && StartRead();
            while (running) {
                // Stop, the wait request, the read request: the first signalled one in
                // this order is reported. Without the line-error wait, only Stop and read.
                enum class TSignalled { Stop, Wait, Read };
                HANDLE handles[3];
                TSignalled meaning[3];
                DWORD count = 0;
                handles[count] = stop_;
                meaning[count++] = TSignalled::Stop;
                if (watchingErrors_) {
                    handles[count] = waitRequest_.hEvent;
                    meaning[count++] = TSignalled::Wait;
                }
                handles[count] = readRequest_.hEvent;
                meaning[count++] = TSignalled::Read;

                const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, INFINITE);
                if (result >= WAIT_OBJECT_0 + count) break;  // the wait failed
                switch (meaning[result - WAIT_OBJECT_0]) {
                    case TSignalled::Stop:
                        running = false;
                        break;
                    case TSignalled::Wait:
                        waitPending_ = false;
                        running = HandleCommEvent() && StartWait();
                        break;
                    case TSignalled::Read:
                        readPending_ = false;
                        running = CompleteRead() && StartRead();
                        break;
                }
            }
        }
    } catch (...) {
        // Nothing may escape a thread body; ending quietly is this thread's way to fail.
    }
    EndRequests();
    ::PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    if (readRequest_.hEvent != nullptr) ::CloseHandle(readRequest_.hEvent);
    if (waitRequest_.hEvent != nullptr) ::CloseHandle(waitRequest_.hEvent);
    ended_.store(true, std::memory_order_release);
}

void TWin32RxThread::EndRequests() {
    // On Windows the purge of Close aborts a pending read; Wine 8 leaves it pending until it
    // is cancelled (which takes it about 2 ms). Cancelling here holds on both, and the wait
    // makes sure no request still writes into this thread's buffers afterwards.
    DWORD ignored = 0;
    if (readPending_) {
        ::CancelIoEx(port_, &readRequest_);
        ::GetOverlappedResult(port_, &readRequest_, &ignored, TRUE);
        readPending_ = false;
    }
    if (waitPending_) {
        ::CancelIoEx(port_, &waitRequest_);
        ::GetOverlappedResult(port_, &waitRequest_, &ignored, TRUE);
        waitPending_ = false;
    }
}

bool TWin32RxThread::StartWait() {
    while (watchingErrors_ && !StopSignalled()) {
        eventMask_ = 0;
        ::ResetEvent(waitRequest_.hEvent);
        if (!::WaitCommEvent(port_, &eventMask_, &waitRequest_)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                waitPending_ = true;
                return true;
            }
            if (error == ERROR_OPERATION_ABORTED) {
                // Wine 8 on a pseudo-terminal: the wait is refused with 995 every time.
                // Reads still work; line errors are then cleared by CompleteRead.
                watchingErrors_ = false;
                return true;
            }
            return false;
        }
        if (!HandleCommEvent()) return false;
    }
    return watchingErrors_ ? false : !StopSignalled();
}

bool TWin32RxThread::HandleCommEvent() {
    DWORD ignored = 0;
    if (!::GetOverlappedResult(port_, &waitRequest_, &ignored, FALSE)) {
        if (::GetLastError() == ERROR_OPERATION_ABORTED && !StopSignalled()) {
            // The same Wine refusal, reported through the request: go on without the wait.
            watchingErrors_ = false;
            return true;
        }
        return false;
    }
    // Any event but a line error, an empty mask included, ends the thread.
    if ((eventMask_ & EV_ERR) == 0) return false;
    DWORD errors = 0;
    return ::ClearCommError(port_, &errors, nullptr) != 0;
}

bool TWin32RxThread::StartRead() {
    while (!StopSignalled()) {
        ::ResetEvent(readRequest_.hEvent);
        DWORD n = 0;
        if (!::ReadFile(port_, buffer_.get(), static_cast<DWORD>(kReadBufferSize), &n, &readRequest_)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                readPending_ = true;
                return true;
            }
            if (error == ERROR_TIMEOUT) {
                // Wine's read that ends with no bytes (see CompleteRead), reported at once.
                ::SetEvent(readRequest_.hEvent);
                return true;
            }
            if (error == ERROR_OPERATION_ABORTED && !watchingErrors_ &&
                ++abortedReads_ < kAbortedReadsToEnd) {
                DWORD errors = 0;
                if (!::ClearCommError(port_, &errors, nullptr)) return false;
                continue;
            }
            return false;
        }
        if (n == 0) {
            // Picked up through the read request's event, like a pending read.
            ::SetEvent(readRequest_.hEvent);
            return true;
        }
        abortedReads_ = 0;
        if (!DeliverChunk(n)) return false;
    }
    return false;
}

bool TWin32RxThread::CompleteRead() {
    DWORD n = 0;
    if (!::GetOverlappedResult(port_, &readRequest_, &n, FALSE)) {
        const DWORD error = ::GetLastError();
        // Wine 8 ends some reads with no bytes and ERROR_TIMEOUT (1460) although the read
        // total time-outs are 0: nothing was read, and reception goes on.
        if (error == ERROR_TIMEOUT) return true;
        // A port whose driver aborts reads on a line error (fAbortOnError) while the
        // line-error wait is not available: clear the error and read on.
        if (error == ERROR_OPERATION_ABORTED && !watchingErrors_ && !StopSignalled() &&
            ++abortedReads_ < kAbortedReadsToEnd) {
            DWORD errors = 0;
            return ::ClearCommError(port_, &errors, nullptr) != 0;
        }
        return false;  // a purged or cancelled read included
    }
    if (n == 0) return true;
    abortedReads_ = 0;
    return DeliverChunk(n);
}

bool TWin32RxThread::DeliverChunk(DWORD n) {
    if (!*onChunk_) return true;
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[n + 1]);
    if (!block) return false;
    std::memcpy(block.get(), buffer_.get(), n);
    block[n] = 0;
    // The task is the holder's only owner, so the block is freed by whoever ends up with
    // the task: the handler, or the loop when it drops the task.
    auto holder = std::make_shared<TChunkHolder>(TChunkHolder{std::move(block)});
    const auto length = static_cast<std::uint16_t>(n);
    return loop_.Post([handler = onChunk_, holder = std::move(holder), length] {
        (*handler)(std::move(holder->Block), length);
    });
}
