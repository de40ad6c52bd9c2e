#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <thread>

#include "link/posix/RxThread.h"
#include "platform/posix/PosixSerialDevice.h"
#include "platform/posix/PseudoTerminal.h"
#include "support/PtyIo.h"
#include "tests/link/ThreadedTestLoop.h"

namespace {

// Waits, with a generous deadline, for a condition set by another thread.
template <typename TDone>
bool Eventually(TDone done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

class RxThreadTest : public testing::Test {
protected:
    void SetUp() override {
        device_ = std::move(TPosixSerialDevice::Open(pty_->SlavePath()).Device);
        ASSERT_TRUE(device_);
        receiver_ = TRxThread::Start(device_->Descriptor(), loop_,
                                     [this](std::unique_ptr<std::uint8_t[]> block, std::uint16_t n) {
                                         EXPECT_EQ(block[n], 0) << "no zero after chunk " << chunks_.size();
                                         chunks_.emplace_back(block.get(), block.get() + n);
                                     });
        ASSERT_TRUE(receiver_);
    }

    // Dispatches until total bytes have come; returns them all.
    TBytes Received(std::size_t total) {
        TBytes all;
        loop_.DispatchUntil([&] {
            all.clear();
            for (const TBytes& chunk : chunks_) all.insert(all.end(), chunk.begin(), chunk.end());
            return all.size() >= total;
        });
        return all;
    }

    std::unique_ptr<TPseudoTerminal> pty_ = std::make_unique<TPseudoTerminal>();
    std::unique_ptr<TPosixSerialDevice> device_;
    TThreadedTestLoop loop_;
    std::unique_ptr<TRxThread> receiver_;
    std::vector<TBytes> chunks_;
};

TEST_F(RxThreadTest, LongStreamArrivesInOrderInChunksOfAtMostTheBufferSize) {
    TBytes data(40000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 8));
    std::thread writer([&] { EXPECT_TRUE(WriteFully(pty_->MasterFd(), data)); });
    const TBytes received = Received(data.size());
    writer.join();
    EXPECT_EQ(received, data);
    for (const TBytes& chunk : chunks_) EXPECT_LE(chunk.size(), TRxThread::kReadBufferSize);
}

TEST_F(RxThreadTest, QuietLineEndsTheChunkWithoutWaitingForMore) {
    // Nothing follows the first bytes until they have arrived, which they must on their own.
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), {0x10, 0x02, 0xAA}));
    EXPECT_EQ(Received(3), (TBytes{0x10, 0x02, 0xAA}));
    const std::size_t firstChunks = chunks_.size();
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), {0x10, 0x03}));
    EXPECT_EQ(Received(5), (TBytes{0x10, 0x02, 0xAA, 0x10, 0x03}));
    EXPECT_GT(chunks_.size(), firstChunks);
}

TEST_F(RxThreadTest, PeerHangUpEndsTheThreadAfterDeliveringWhatCameBefore) {
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), {0x42}));
    EXPECT_EQ(Received(1), TBytes{0x42});
    // Closing the master hangs the slave up; a thread polling the dead line would never end.
    pty_.reset();
    EXPECT_TRUE(Eventually([&] { return receiver_->Ended(); }));
}

TEST_F(RxThreadTest, RefusedPostEndsTheThreadAndReleasesTheChunk) {
    receiver_.reset();
    auto token = std::make_shared<int>(0);
    receiver_ = TRxThread::Start(device_->Descriptor(), loop_,
                                 [token](std::unique_ptr<std::uint8_t[]>, std::uint16_t) { ++*token; });
    loop_.Refuse();
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), {1, 2, 3}));
    EXPECT_TRUE(Eventually([&] { return receiver_->Ended(); }));
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), {4}));
    receiver_.reset();
    EXPECT_EQ(loop_.PostAttempts(), 1u);
    // The refused task, chunk and handler copy with it, is gone.
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_EQ(*token, 0);
}

TEST_F(RxThreadTest, EndingPurgesWhatTheDriverStillHolds) {
    const int slave = device_->Descriptor();
    auto waiting = [slave] {
        int n = -1;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    };
    loop_.HoldPosts();
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), {1, 2, 3}));
    ASSERT_TRUE(Eventually([&] { return loop_.PostAttempts() == 1; }));
    // The thread is posting its chunk; these bytes wait in the driver meanwhile.
    ASSERT_TRUE(WriteFully(pty_->MasterFd(), {4, 5}));
    ASSERT_TRUE(Eventually([&] { return waiting() == 2; }));
    loop_.Refuse();
    loop_.ReleasePosts();
    ASSERT_TRUE(Eventually([&] { return receiver_->Ended(); }));
    EXPECT_EQ(waiting(), 0);
}

}  // namespace
