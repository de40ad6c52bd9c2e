#include "link/RxThread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "platform/PosixSerialDevice.h"
#include "platform/PseudoTerminal.h"
#include "tests/link/ThreadedTestLoop.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

// Writes all bytes to a non-blocking descriptor, waiting for room.
bool WriteFully(int fd, const TBytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        pollfd waitFor{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&waitFor, 1, 5000) == 1)
            continue;
        return false;
    }
    return true;
}

// Waits, with a generous deadline, until the thread has ended.
bool EndsSoon(const TRxThread& receiver) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!receiver.Ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return receiver.Ended();
}

class RxThreadTest : public testing::Test {
protected:
    void SetUp() override {
        TPosixSerialDevice::TOpenResult opened = TPosixSerialDevice::Open(pty_->SlavePath());
        ASSERT_TRUE(opened.Device);
        device_ = std::move(opened.Device);
        device_->ApplyLineSettings({115200, 8, TStopBits::sb1, TParity::None});
    }

    void Start() {
        receiver_ = TRxThread::Start(device_->Descriptor(), loop_,
                                     [this](std::unique_ptr<std::uint8_t[]> block, std::uint16_t length) {
                                         // The block carries a zero after the bytes.
                                         EXPECT_EQ(block[length], 0) << "chunk " << chunks_.size();
                                         chunks_.emplace_back(block.get(), block.get() + length);
                                         received_ += length;
                                     });
        ASSERT_TRUE(receiver_);
    }

    bool ReceiveUntil(std::size_t total) {
        return loop_.DispatchUntil([&] { return received_ >= total; });
    }

    TBytes Joined() const {
        TBytes all;
        for (const TBytes& chunk : chunks_)
            all.insert(all.end(), chunk.begin(), chunk.end());
        return all;
    }

    std::unique_ptr<TPseudoTerminal> pty_ = std::make_unique<TPseudoTerminal>();
    std::unique_ptr<TPosixSerialDevice> device_;
    TThreadedTestLoop loop_;
    std::unique_ptr<TRxThread> receiver_;
    std::vector<TBytes> chunks_;
    std::size_t received_ = 0;
};

TEST_F(RxThreadTest, LongStreamArrivesInOrderInChunksOfAtMostTheBufferSize) {
    Start();
    TBytes data(40000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 8));
    std::thread writer([&] { EXPECT_TRUE(WriteFully(pty_->MasterFd(), data)); });
    const bool complete = ReceiveUntil(data.size());
    writer.join();
    ASSERT_TRUE(complete) << received_ << " of " << data.size() << " bytes";
    EXPECT_EQ(Joined(), data);
    EXPECT_GE(chunks_.size(), 3u);
    for (const TBytes& chunk : chunks_) {
        EXPECT_GT(chunk.size(), 0u);
        EXPECT_LE(chunk.size(), TRxThread::kReadBufferSize);
    }
}

TEST_F(RxThreadTest, BytesWaitingBeforeTheStartAreDelivered) {
    const TBytes waiting = {0x01, 0x03, 0x00, 0x10, 0x00, 0x02};
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), waiting));
    Start();
    ASSERT_TRUE(ReceiveUntil(waiting.size()));
    EXPECT_EQ(Joined(), waiting);
}

TEST_F(RxThreadTest, QuietLineEndsTheChunkWithoutWaitingForMore) {
    Start();
    const TBytes first = {0x10, 0x02, 0xAA};
    const TBytes second = {0x10, 0x03, 0x55, 0x00};
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), first));
    // The first bytes come on their own: nothing else is sent until they have arrived.
    ASSERT_TRUE(ReceiveUntil(first.size()));
    EXPECT_EQ(Joined(), first);
    const std::size_t chunksOfFirst = chunks_.size();

    ASSERT_TRUE(WriteFully(pty_->MasterFd(), second));
    ASSERT_TRUE(ReceiveUntil(first.size() + second.size()));
    const std::vector<TBytes> later(chunks_.begin() + static_cast<std::ptrdiff_t>(chunksOfFirst), chunks_.end());
    TBytes laterBytes;
    for (const TBytes& chunk : later)
        laterBytes.insert(laterBytes.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(laterBytes, second);
}

TEST_F(RxThreadTest, StopWhileIdleEndsTheThread) {
    Start();
    EXPECT_FALSE(receiver_->Ended());
    receiver_->Stop();
    EXPECT_TRUE(receiver_->Ended());
    receiver_->Stop();
    EXPECT_EQ(loop_.PostAttempts(), 0u);
}

TEST_F(RxThreadTest, PeerHangUpEndsTheThread) {
    Start();
    const TBytes before = {0x42};
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), before));
    ASSERT_TRUE(ReceiveUntil(1));
    // Closing the master hangs the slave up; a thread that kept polling the hung-up line
    // would never end.
    pty_.reset();
    EXPECT_TRUE(EndsSoon(*receiver_));
    EXPECT_EQ(Joined(), before);
}

TEST_F(RxThreadTest, RefusedPostEndsTheThreadAndReleasesTheChunk) {
    auto token = std::make_shared<int>(0);
    loop_.Refuse();
    receiver_ = TRxThread::Start(device_->Descriptor(), loop_,
                                 [token](std::unique_ptr<std::uint8_t[]>, std::uint16_t) { ++*token; });
    ASSERT_TRUE(receiver_);
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), TBytes{1, 2, 3}));
    EXPECT_TRUE(EndsSoon(*receiver_));
    EXPECT_EQ(loop_.PostAttempts(), 1u);

    // After the end, more bytes go nowhere.
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), TBytes{4}));
    receiver_.reset();
    EXPECT_EQ(loop_.PostAttempts(), 1u);
    EXPECT_EQ(*token, 0);
    // The refused task, with its chunk, is gone: only the test holds the handler's state.
    EXPECT_EQ(token.use_count(), 1);
}

TEST_F(RxThreadTest, ChunkPostedBeforeStopStillReachesTheHandlerAfterwards) {
    Start();
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), TBytes{7, 8, 9}));
    // Wait until the chunk is queued, then end the thread before dispatching it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (loop_.PostAttempts() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    receiver_.reset();
    loop_.DispatchPending();
    EXPECT_EQ(Joined(), (TBytes{7, 8, 9}));
}

TEST(RxThreadStartTest, InvalidDescriptorStartsNothing) {
    TThreadedTestLoop loop;
    EXPECT_EQ(TRxThread::Start(-1, loop, [](std::unique_ptr<std::uint8_t[]>, std::uint16_t) {}), nullptr);
}

}  // namespace
