#include "platform/qt/QtMessageLoop.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

// One application object per process, made on the thread that runs the tests.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

class QtMessageLoopTest : public testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

    // Dispatches until done() holds; false when nothing at all came for 5 s.
    template <typename TDone>
    bool DispatchUntil(TMessageLoop& loop, TDone done) {
        while (!done())
            if (!loop.WaitAndDispatch(5000))
                return done();
        return true;
    }
};

TEST_F(QtMessageLoopTest, PostsFromAnotherThreadRunInOrder) {
    TQtMessageLoop loop;
    constexpr int kCount = 3000;
    std::vector<int> seen;
    std::thread poster([&] {
        for (int i = 0; i < kCount; ++i)
            EXPECT_TRUE(loop.Post([&seen, i] { seen.push_back(i); }));
    });
    const bool all = DispatchUntil(loop, [&] { return seen.size() == kCount; });
    poster.join();
    ASSERT_TRUE(all) << seen.size();
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST_F(QtMessageLoopTest, WaitInsideATaskDispatchesPostsFromAnotherThread) {
    // The shape of a request waiting for its reply inside a step handler.
    TQtMessageLoop loop;
    std::vector<int> order;
    std::thread poster;
    bool innerResult = false;
    loop.Post([&] {
        order.push_back(1);
        bool replied = false;
        poster = std::thread([&] { loop.Post([&] { order.push_back(2); replied = true; }); });
        innerResult = DispatchUntil(loop, [&] { return replied; });
        order.push_back(3);
    });
    const bool outer = DispatchUntil(loop, [&] { return order.size() == 3; });
    poster.join();
    EXPECT_TRUE(outer);
    EXPECT_TRUE(innerResult);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(QtMessageLoopTest, TasksPostedDuringDispatchRunAfterThoseBefore) {
    TQtMessageLoop loop;
    std::vector<int> order;
    loop.Post([&] {
        order.push_back(1);
        loop.Post([&] { order.push_back(3); });
    });
    loop.Post([&] { order.push_back(2); });
    ASSERT_TRUE(DispatchUntil(loop, [&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(QtMessageLoopTest, WaitWithNothingToDoReturnsFalse) {
    TQtMessageLoop loop;
    EXPECT_FALSE(loop.WaitAndDispatch(0));
    EXPECT_FALSE(loop.WaitAndDispatch(20));

    bool ran = false;
    ASSERT_TRUE(loop.Post([&] { ran = true; }));
    EXPECT_TRUE(loop.WaitAndDispatch(0));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(loop.WaitAndDispatch(10));
}

TEST_F(QtMessageLoopTest, RepeatingTimerTicksUntilStopped) {
    TQtMessageLoop loop;
    int ticks = 0;
    const TMessageLoop::TTimerId id = loop.StartTimer(2, [&] { ++ticks; });
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(DispatchUntil(loop, [&] { return ticks >= 3; }));
    loop.StopTimer(id);
    const int stoppedAt = ticks;
    EXPECT_FALSE(loop.WaitAndDispatch(30));
    EXPECT_EQ(ticks, stoppedAt);
    loop.StopTimer(id);  // already stopped: ignored
}

TEST_F(QtMessageLoopTest, TimerCanStopItselfFromItsTick) {
    TQtMessageLoop loop;
    int ticks = 0;
    TMessageLoop::TTimerId id = 0;
    id = loop.StartTimer(1, [&] {
        if (++ticks == 2)
            loop.StopTimer(id);
    });
    ASSERT_TRUE(DispatchUntil(loop, [&] { return ticks >= 2; }));
    EXPECT_FALSE(loop.WaitAndDispatch(30));
    EXPECT_EQ(ticks, 2);
}

TEST_F(QtMessageLoopTest, DelayedTaskRunsOnceAndCanBeCancelled) {
    TQtMessageLoop loop;
    int kept = 0;
    int cancelled = 0;
    const TMessageLoop::TTimerId keptId = loop.PostDelayed(5, [&] { ++kept; });
    const TMessageLoop::TTimerId cancelledId = loop.PostDelayed(5, [&] { ++cancelled; });
    EXPECT_NE(keptId, 0u);
    EXPECT_NE(keptId, cancelledId);
    loop.StopTimer(cancelledId);
    ASSERT_TRUE(DispatchUntil(loop, [&] { return kept > 0; }));
    EXPECT_FALSE(loop.WaitAndDispatch(30));
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(cancelled, 0);
    loop.StopTimer(keptId);  // finished: ignored
    loop.StopTimer(12345);   // unknown: ignored
}

TEST_F(QtMessageLoopTest, TimerIdsAreNotReused) {
    TQtMessageLoop loop;
    std::vector<TMessageLoop::TTimerId> ids;
    for (int i = 0; i < 5; ++i) {
        const TMessageLoop::TTimerId id = loop.StartTimer(1000, [] {});
        loop.StopTimer(id);
        ids.push_back(id);
    }
    for (std::size_t i = 1; i < ids.size(); ++i)
        EXPECT_GT(ids[i], ids[i - 1]);
}

TEST_F(QtMessageLoopTest, DestroyingTheLoopDropsQueuedTasks) {
    auto token = std::make_shared<int>(0);
    {
        TQtMessageLoop loop;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(loop.Post([token] { ++*token; }));
        loop.PostDelayed(1, [token] { ++*token; });
        loop.StartTimer(1, [token] { ++*token; });
    }
    EXPECT_EQ(*token, 0);
    EXPECT_EQ(token.use_count(), 1);

    // A later loop on the same thread sees none of them.
    TQtMessageLoop next;
    EXPECT_FALSE(next.WaitAndDispatch(20));
    EXPECT_EQ(*token, 0);
}

TEST_F(QtMessageLoopTest, TickCountFollowsAMonotonicClock) {
    TQtMessageLoop loop;
    const std::uint32_t before = loop.TickCount();
    EXPECT_FALSE(loop.WaitAndDispatch(25));
    // Only the direction is checked; how long a wait took is not a test's business.
    EXPECT_GT(static_cast<std::uint32_t>(loop.TickCount() - before), 0u);
}

}  // namespace
