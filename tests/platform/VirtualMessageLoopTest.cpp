#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/VirtualMessageLoop.h"

namespace {

TEST(VirtualMessageLoop, DueEntriesRunInDueTimeThenSchedulingOrder) {
    TVirtualMessageLoop loop;
    std::vector<std::string> order;
    auto note = [&](std::string what) { return [&order, what] { order.push_back(what); }; };
    loop.PostDelayed(30, note("delayed 30"));
    const auto timer = loop.StartTimer(20, note("timer 20"));
    loop.PostDelayed(20, note("delayed 20"));
    loop.Post(note("post A"));
    loop.Post(note("post B"));
    loop.AdvanceBy(45);
    loop.StopTimer(timer);
    EXPECT_EQ(order, (std::vector<std::string>{"post A", "post B", "timer 20", "delayed 20", "delayed 30",
                                               "timer 20"}));
    EXPECT_EQ(loop.Now(), 45u);
}

TEST(VirtualMessageLoop, WaitJumpsToTheNextTimerOrStopsAtItsDeadline) {
    TVirtualMessageLoop loop;
    int fired = 0;
    loop.PostDelayed(500, [&] { ++fired; });

    EXPECT_FALSE(loop.WaitAndDispatch(200)) << "deadline before the timer";
    EXPECT_EQ(loop.Now(), 200u);
    EXPECT_EQ(fired, 0);

    EXPECT_TRUE(loop.WaitAndDispatch());
    EXPECT_EQ(loop.Now(), 500u);
    EXPECT_EQ(fired, 1);

    EXPECT_FALSE(loop.WaitAndDispatch(0));
    EXPECT_EQ(loop.Now(), 500u);
    EXPECT_FALSE(loop.WaitAndDispatch(70));
    EXPECT_EQ(loop.Now(), 570u);
    EXPECT_THROW(loop.WaitAndDispatch(), std::logic_error) << "nothing could ever wake this wait";
}

TEST(VirtualMessageLoop, PendingTaskIsDispatchedWithoutMovingTheClock) {
    TVirtualMessageLoop loop;
    loop.PostDelayed(1000, [] {});
    bool ran = false;
    loop.Post([&] { ran = true; });
    EXPECT_TRUE(loop.WaitAndDispatch());
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.Now(), 0u);
}

TEST(VirtualMessageLoop, RepeatingTimerTicksAtEveryIntervalUntilStopped) {
    TVirtualMessageLoop loop;
    std::vector<std::uint64_t> ticks;
    TMessageLoop::TTimerId id = 0;
    id = loop.StartTimer(100, [&] {
        ticks.push_back(loop.Now());
        if (ticks.size() == 3) {
            loop.StopTimer(id);  // from inside its own tick
        }
    });
    EXPECT_TRUE(loop.TimerActive(id));
    loop.AdvanceBy(1000);
    EXPECT_EQ(ticks, (std::vector<std::uint64_t>{100, 200, 300}));
    EXPECT_FALSE(loop.TimerActive(id));
    EXPECT_EQ(loop.ScheduledCount(), 0u);
}

TEST(VirtualMessageLoop, TaskThatRepostsItselfDoesNotHangAPass) {
    TVirtualMessageLoop loop;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.Post(again);
    };
    loop.Post(again);
    loop.DispatchPending();
    EXPECT_EQ(runs, 1);
    loop.DispatchPending();
    EXPECT_EQ(runs, 2);
}

TEST(VirtualMessageLoop, NestedWaitInsideATaskKeepsDispatching) {
    TVirtualMessageLoop loop;
    std::vector<std::string> order;
    loop.Post([&] {
        order.push_back("outer begins");
        bool done = false;
        loop.PostDelayed(300, [&] { done = true; });
        while (!done) {
            loop.WaitAndDispatch();
        }
        order.push_back("outer ends");
    });
    loop.Post([&] { order.push_back("second post"); });
    loop.RunUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"outer begins", "second post", "outer ends"}));
    EXPECT_EQ(loop.Now(), 300u);
}

TEST(VirtualMessageLoop, PostsFromAnotherThreadArriveInOrder) {
    TVirtualMessageLoop loop;
    std::vector<int> got;
    std::thread poster([&] {
        for (int i = 0; i < 1000; ++i) {
            loop.Post([&got, i] { got.push_back(i); });
        }
    });
    poster.join();
    loop.RunUntilIdle();
    ASSERT_EQ(got.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(got[i], i);
    }
}

}  // namespace
