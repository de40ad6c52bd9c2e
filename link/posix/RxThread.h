#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "link/PortFactory.h"
#include "platform/MessageLoop.h"

// The receive thread of a serial device: it waits in poll() on the device and a stop
// eventfd, gathers what arrives into chunks and posts each chunk to the message loop,
// where the chunk handler gets it.
//
// A chunk ends when 1 ms passes without a further byte or when kReadBufferSize bytes are
// held. It travels as a heap block of n + 1 bytes, the n bytes followed by a zero byte;
// the thread owns it until it is posted, the handler afterwards. A task the loop drops
// without running frees its block.
//
// The thread ends on Stop(), on a hang-up of the line, on a read error that repeats
// without a byte in between, or when a chunk cannot be allocated or posted; however it
// ends, it purges the receive side of the device. Ending on its own tells nobody: the
// device stays open and simply delivers nothing more.
//
// The descriptor must stay open until the thread has been stopped.
class TRxThread : public TReceiver {
public:
    static constexpr std::size_t kReadBufferSize = 16384;

    // Starts a thread receiving from fd. nullptr when the stop event or the thread cannot
    // be created.
    static std::unique_ptr<TRxThread> Start(int fd, TMessageLoop& loop, TChunkHandler onChunk);

    // Stops the thread and waits for its end.
    ~TRxThread() override;
    TRxThread(const TRxThread&) = delete;
    TRxThread& operator=(const TRxThread&) = delete;

    // Tells the thread to end and returns once it has. Further calls do nothing.
    void Stop();

    // True once the thread body has returned, on Stop() or on its own.
    bool Ended() const { return ended_.load(std::memory_order_acquire); }

private:
    enum class TReadOutcome { Data, Nothing, HangUp, Failed };

    TRxThread(int fd, int stopFd, TMessageLoop& loop, TChunkHandler onChunk);

    void ReceiveLoop();
    // Waits for the first bytes of a chunk. False: end the thread.
    bool WaitForFirstBytes();
    // Reads on until the line is quiet for 1 ms or the buffer is full. False: end the thread.
    bool ReadUntilQuiet();
    // Copies the held bytes into a chunk block and posts it. False: end the thread.
    bool DeliverChunk(std::size_t n);
    TReadOutcome ReadAvailable();

    const int fd_;
    const int stopFd_;
    TMessageLoop& loop_;
    // Shared with the posted tasks, which may run after this object is gone.
    const std::shared_ptr<const TChunkHandler> onChunk_;

    // Used only by the thread.
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t held_ = 0;
    // Set by a hang-up or a failed read: deliver what is held, then end.
    bool lineEnded_ = false;
    unsigned failedReads_ = 0;

    std::atomic<bool> ended_{false};
    std::thread thread_;
};
