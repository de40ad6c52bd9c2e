#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/PortFactory.h"
#include "platform/MessageLoop.h"
#include "platform/win32/Win32Handle.h"

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
// A post the loop refuses (a thread's queue holds at most 10,000 posted messages) loses
// nothing: the bytes stay held, those read meanwhile join them, and the thread posts them
// as one chunk once the queue has room again, trying every kPostRetryMs. While kMaxHeld
// bytes wait, it reads no more and the driver keeps what arrives.
//
// The thread ends on Stop, or on its own when a wait or a read fails or when the port
// reports a communication event without a line error; ending on its own tells nobody. Before it ends it
// cancels its pending requests and waits for each up to kCancelWaitMs: a request that a driver never
// completes (an adapter pulled) is left to the driver with the memory it writes into, so that the thread, and
// the Close that waits for it, still end.
//
// The port handle must stay open until the thread has been stopped.
class TWin32RxThread : public TReceiver {
public:
    static constexpr std::size_t kReadBufferSize = 16384;
    // A chunk's length is 16 bits wide.
    static constexpr std::size_t kMaxHeld = 65535;
    static constexpr DWORD kPostRetryMs = 5;
    static constexpr DWORD kCancelWaitMs = 1000;

    // Starts a thread receiving from port. nullptr when the Stop event or the thread cannot
    // be created, prioritised or started.
    static std::unique_ptr<TWin32RxThread> Start(HANDLE port, TMessageLoop& loop, TChunkHandler onChunk);

    // Signals Stop and returns once the thread has ended.
    ~TWin32RxThread() override;
    TWin32RxThread(const TWin32RxThread&) = delete;
    TWin32RxThread& operator=(const TWin32RxThread&) = delete;

    bool Ended() const { return ended_.load(std::memory_order_acquire); }

private:
    // An overlapped request and what the driver writes while it is pending. Kept on the
    // heap, so that one the driver never completes can be left to it.
    struct TRequest {
        OVERLAPPED Overlapped{};
        TWin32Handle Event;
        DWORD EventMask = 0;
        std::unique_ptr<std::uint8_t[]> Buffer;
        bool Pending = false;
    };

    TWin32RxThread(HANDLE port, TWin32Handle stop, TMessageLoop& loop, TChunkHandler onChunk);

    static DWORD WINAPI ThreadBody(void* self);
    void ReceiveLoop();
    bool StopSignalled() const;
    bool StartWait();
    bool HandleCommEvent();
    bool StartRead();
    bool CompleteRead();
    // Adds n bytes of the read buffer to those held and tries to post them. False when
    // they cannot be held.
    bool DeliverChunk(DWORD n);
    // Posts the held bytes as one chunk when the loop takes it; otherwise keeps them.
    void PostHeld();
    // Cancels a pending request and waits until it is over, or leaves it to the driver.
    void EndRequest(std::unique_ptr<TRequest>& request);

    const HANDLE port_;
    const TWin32Handle stop_;
    TMessageLoop& loop_;
    // Shared with the posted tasks, which may run after this object is gone.
    const std::shared_ptr<const TChunkHandler> onChunk_;
    TWin32Handle thread_;

    // Used only by the thread.
    std::unique_ptr<TRequest> read_;
    std::unique_ptr<TRequest> wait_;
    // A read is pending, or completed and waiting to be picked up through its event.
    bool readActive_ = false;
    std::vector<std::uint8_t> held_;
    // False once the port has refused the line-error wait (Wine): reception goes on
    // without it, and a read that a line error aborted clears the error itself.
    bool watchingErrors_ = true;
    unsigned abortedReads_ = 0;

    std::atomic<bool> ended_{false};
};
