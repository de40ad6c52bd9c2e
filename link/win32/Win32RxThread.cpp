#include "link/win32/Win32RxThread.h"

#include <utility>

#include "link/ChunkPost.h"

namespace {

// A read that a line error aborted, twice in a row with no byte in between, means the port
// is gone rather than the line noisy.
constexpr unsigned kAbortedReadsToEnd = 2;

}  // namespace

std::unique_ptr<TWin32RxThread> TWin32RxThread::Start(HANDLE port, TMessageLoop& loop,
                                                      TChunkHandler onChunk) {
    TWin32Handle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) return nullptr;
    std::unique_ptr<TWin32RxThread> receiver;
    try {
        receiver.reset(new TWin32RxThread(port, std::move(stop), loop, std::move(onChunk)));
    } catch (...) {
        return nullptr;
    }
    receiver->thread_.Reset(
        ::CreateThread(nullptr, 0, &TWin32RxThread::ThreadBody, receiver.get(), CREATE_SUSPENDED, nullptr));
    if (!receiver->thread_) return nullptr;
    if (!::SetThreadPriority(receiver->thread_.Get(), THREAD_PRIORITY_HIGHEST) ||
        ::ResumeThread(receiver->thread_.Get()) == static_cast<DWORD>(-1)) {
        // The destructor must not wait for a thread that never ran.
        ::TerminateThread(receiver->thread_.Get(), 0);
        receiver->thread_.Reset();
        return nullptr;
    }
    return receiver;
}

TWin32RxThread::TWin32RxThread(HANDLE port, TWin32Handle stop, TMessageLoop& loop, TChunkHandler onChunk)
    : port_(port),
      stop_(std::move(stop)),
      loop_(loop),
      onChunk_(std::make_shared<const TChunkHandler>(std::move(onChunk))) {
    held_.reserve(kMaxHeld);
}

TWin32RxThread::~TWin32RxThread() {
    if (thread_) {
        ::SetEvent(stop_.Get());
        // The thread's own waits all end on Stop, and its end waits for a cancelled request
        // no longer than kCancelWaitMs.
        ::WaitForSingleObject(thread_.Get(), INFINITE);
    }
}

DWORD WINAPI TWin32RxThread::ThreadBody(void* self) {
    static_cast<TWin32RxThread*>(self)->ReceiveLoop();
    return 0;
}

bool TWin32RxThread::StopSignalled() const {
    return ::WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0;
}

void TWin32RxThread::ReceiveLoop() {
    try {
        read_ = std::make_unique<TRequest>();
        wait_ = std::make_unique<TRequest>();
        read_->Buffer.reset(new std::uint8_t[kReadBufferSize]);
        read_->Event.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
        wait_->Event.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
        read_->Overlapped.hEvent = read_->Event.Get();
        wait_->Overlapped.hEvent = wait_->Event.Get();
        if (read_->Event && wait_->Event) {
            // Wine 8 fails the EV_ERR wait at once (error 995): reception then goes on
            // without it (see StartWait).
            watchingErrors_ = ::SetCommMask(port_, EV_ERR) != 0;
            bool running = StartWait() && StartRead();
            while (running) {
                // Stop, the wait request, the read request: the first signalled one in
                // this order is reported. Without the line-error wait, only Stop and read;
                // without a read (too many bytes held), no read.
                enum class TSignalled { Stop, Wait, Read };
                HANDLE handles[3];
                TSignalled meaning[3];
                DWORD count = 0;
                handles[count] = stop_.Get();
                meaning[count++] = TSignalled::Stop;
                if (watchingErrors_) {
                    handles[count] = wait_->Event.Get();
                    meaning[count++] = TSignalled::Wait;
                }
                if (readActive_) {
                    handles[count] = read_->Event.Get();
                    meaning[count++] = TSignalled::Read;
                }

                // Bytes the loop has not taken yet are offered again after a short while.
                const DWORD limit = held_.empty() ? INFINITE : kPostRetryMs;
                const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, limit);
                if (result == WAIT_TIMEOUT) {
                    PostHeld();
                } else if (result >= WAIT_OBJECT_0 + count) {
                    break;  // the wait failed
                } else {
                    switch (meaning[result - WAIT_OBJECT_0]) {
                        case TSignalled::Stop:
                            running = false;
                            break;
                        case TSignalled::Wait:
                            wait_->Pending = false;
                            running = HandleCommEvent() && StartWait();
                            break;
                        case TSignalled::Read:
                            read_->Pending = false;
                            readActive_ = false;
                            running = CompleteRead();
                            break;
                    }
                }
                if (running && !readActive_) running = StartRead();
            }
        }
    } catch (...) {
        // Nothing may escape a thread body; ending quietly is this thread's way to fail.
    }
    if (read_) EndRequest(read_);
    if (wait_) EndRequest(wait_);
    ::PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    ended_.store(true, std::memory_order_release);
}

void TWin32RxThread::EndRequest(std::unique_ptr<TRequest>& request) {
    // On Windows the purge of Close aborts a pending read; Wine 8 leaves it pending until it
    // is cancelled (which takes it about 2 ms). Cancelling here holds on both, and the wait
    // makes sure no request still writes into this thread's memory afterwards.
    if (!request->Pending) return;
    ::CancelIoEx(port_, &request->Overlapped);
    if (::WaitForSingleObject(request->Event.Get(), kCancelWaitMs) == WAIT_OBJECT_0) {
        DWORD ignored = 0;
        ::GetOverlappedResult(port_, &request->Overlapped, &ignored, FALSE);
        request->Pending = false;
        return;
    }
    // A driver that never completes the cancelled request (a pulled adapter can do that)
    // may still write into it: the request, its event and its buffer are left to it.
    [[maybe_unused]] TRequest* leftToTheDriver = request.release();
}

bool TWin32RxThread::StartWait() {
    while (watchingErrors_ && !StopSignalled()) {
        wait_->EventMask = 0;
        ::ResetEvent(wait_->Event.Get());
        if (!::WaitCommEvent(port_, &wait_->EventMask, &wait_->Overlapped)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                wait_->Pending = true;
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
    if (!::GetOverlappedResult(port_, &wait_->Overlapped, &ignored, FALSE)) {
        if (::GetLastError() == ERROR_OPERATION_ABORTED && !StopSignalled()) {
            // The same Wine refusal, reported through the request: go on without the wait.
            watchingErrors_ = false;
            return true;
        }
        return false;
    }
    // Any event but a line error, an empty mask included, ends the thread.
    if ((wait_->EventMask & EV_ERR) == 0) return false;
    DWORD errors = 0;
    return ::ClearCommError(port_, &errors, nullptr) != 0;
}

bool TWin32RxThread::StartRead() {
    while (!StopSignalled()) {
        if (held_.size() + kReadBufferSize > kMaxHeld) return true;  // read on once posted
        ::ResetEvent(read_->Event.Get());
        DWORD n = 0;
        if (!::ReadFile(port_, read_->Buffer.get(), static_cast<DWORD>(kReadBufferSize), &n,
                        &read_->Overlapped)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                read_->Pending = true;
                readActive_ = true;
                return true;
            }
            if (error == ERROR_TIMEOUT) {
                // Wine's read that ends with no bytes (see CompleteRead), reported at once.
                ::SetEvent(read_->Event.Get());
                readActive_ = true;
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
            ::SetEvent(read_->Event.Get());
            readActive_ = true;
            return true;
        }
        abortedReads_ = 0;
        if (!DeliverChunk(n)) return false;
    }
    return false;
}

bool TWin32RxThread::CompleteRead() {
    DWORD n = 0;
    if (!::GetOverlappedResult(port_, &read_->Overlapped, &n, FALSE)) {
        const DWORD error = ::GetLastError();
        // Wine 8 ends some reads with no bytes and ERROR_TIMEOUT (1460) although the read
        // total time-outs are 0: nothing was read, and reception goes on.
        if (error == ERROR_TIMEOUT) return true;
        // A port whose driver aborts reads on a line error (fAbortOnError set by a driver
        // that ignores the setting) while the line-error wait is not available: clear the
        // error and read on.
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
    held_.insert(held_.end(), read_->Buffer.get(), read_->Buffer.get() + n);
    PostHeld();
    return true;
}

void TWin32RxThread::PostHeld() {
    if (held_.empty()) return;
    // Held bytes that could not be posted are tried again with the next post.
    if (PostChunk(loop_, onChunk_, held_.data(), held_.size())) held_.clear();
}
