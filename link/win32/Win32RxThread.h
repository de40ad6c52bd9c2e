#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/PortFactory.h"
#include "platform/MessageLoop.h"

// The receive thread of a serial port on Windows. It runs at THREAD_PRIORITY_HIGHEST with
// two overlapped requests on the port: a read of up to kReadBufferSize bytes (the port's
// 1 ms read interval ends it once the line falls quiet) and a wait for EV_ERR, the line
// errors, which it clears so that reception goes on. It waits in WaitForMultipleObjects on
// Stop, the wait request and the read request, in this order, and posts every chunk it
// reads to the message loop, where the chunk handler gets it.
//
// A chunk travels as a heap block of n + 1 bytes, the n bytes followed by a zero byte; the
// thread owns it until it is posted, the handler afterwards. A task the loop drops without
// running frees its block.
//
// The thread ends on Stop, or on its own when a wait or a read fails, when the port reports
// a communication event without a line error, or when a chunk cannot be allocated or
// posted; ending on its own tells nobody. Before it ends it cancels its pending requests
// and waits for them, so no request outlives the buffers it writes into.
//
// The port handle must stay open until the thread has been stopped.
class TWin32RxThread : public TReceiver {
public:
    static constexpr std::size_t kReadBufferSize = 16384;

    // Starts a thread receiving from port. nullptr when the Stop event or the thread cannot
    // be created, prioritised or started.
    static std::unique_ptr<TWin32RxThread> Start(HANDLE port, TMessageLoop& loop, TChunkHandler onChunk);

    // Signals Stop and returns once the thread has ended.
    ~TWin32RxThread() override;
    TWin32RxThread(const TWin32RxThread&) = delete;
    TWin32RxThread& operator=(const TWin32RxThread&) = delete;

    bool Ended() const { return ended_.load(std::memory_order_acquire); }

private:
    TWin32RxThread(HANDLE port, HANDLE stop, TMessageLoop& loop, TChunkHandler onChunk);

    static DWORD WINAPI ThreadBody(void* self);
    void ReceiveLoop();
    bool StopSignalled() const;
    bool StartWait();
    bool HandleCommEvent();
    bool StartRead();
    bool CompleteRead();
    bool DeliverChunk(DWORD n);
    // Cancels what is still pending and waits until the requests are over.
    void EndRequests();

    const HANDLE port_;
    const HANDLE stop_;
    TMessageLoop& loop_;
    // Shared with the posted tasks, which may run after this object is gone.
    const std::shared_ptr<const TChunkHandler> onChunk_;
    HANDLE thread_ = nullptr;

    // Used only by the thread.
    std::unique_ptr<std::uint8_t[]> buffer_;
    OVERLAPPED readRequest_{};
    OVERLAPPED waitRequest_{};
    DWORD eventMask_ = 0;
    bool readPending_ = false;
    bool waitPending_ = false;
    // False once the port has refused the line-error wait (Wine): reception goes on
    // without it, and a read that a line error aborted clears the error itself.
    bool watchingErrors_ = true;
    unsigned abortedReads_ = 0;

    std::atomic<bool> ended_{false};
};
