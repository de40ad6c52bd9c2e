#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <memory>
#include <thread>
#include <vector>

#include "platform/qt/QtMessageLoop.h"

namespace {

// One application object per process, made before the first loop.
bool EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return true;
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return true;
}

class QtMessageLoopTest : public testing::Test {
protected:
    // Dispatches until done() holds; false when nothing came for 5 s.
    template <typename TDone>
    bool DispatchUntil(TDone done) {
        while (!done())
            if (!loop_.WaitAndDispatch(5000)) return done();
        return true;
    }

    const bool applicationReady_ = EnsureApplication();
    TQtMessageLoop loop_;
};

TEST_F(QtMessageLoopTest, PostsFromAnotherThreadRunInOrder) {
    constexpr std::size_t kCount = 3000;
    std::vector<std::size_t> seen;
    std::thread poster([&] {
        for (std::size_t i = 0; i < kCount; ++i) EXPECT_TRUE(loop_.Post([&seen, i] { seen.push_back(i); }));
    });
    const bool all = DispatchUntil([&] { return seen.size() == kCount; });
    poster.join();
    ASSERT_TRUE(all) << seen.size();
    for (std::size_t i = 0; i < kCount; ++i) ASSERT_EQ(seen[i], i);
}

TEST_F(QtMessageLoopTest, WaitInsideATaskDispatchesPostsFromAnotherThread) {
    // The shape of a request waiting for its reply inside a step handler.
    std::vector<int> order;
    std::thread poster;
    loop_.Post([&] {
        order.push_back(1);
        bool replied = false;
        poster = std::thread([&] { loop_.Post([&] { order.push_back(2), replied = true; }); });
        EXPECT_TRUE(DispatchUntil([&] { return replied; }));
        order.push_back(3);
    });
    EXPECT_TRUE(DispatchUntil([&] { return order.size() == 3; }));
    poster.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(QtMessageLoopTest, WaitsInsideATaskDeliverTheEventsQueuedBehindIt) {
    // A window's repaint request is posted at low priority; one posted just before a step's
    // task sits behind that task in Qt's queue, and the step's waits (a request's, a
    // limited one) must deliver it rather than leave the window unpainted until they end.
    struct TCounter : QObject {
        int Events = 0;
        bool event(QEvent* e) override {
            if (e->type() != QEvent::User) return QObject::event(e);
            ++Events;
            return true;
        }
    };
    for (const std::int32_t limit : {-1, 20}) {
        SCOPED_TRACE(limit);
        TCounter window;
        bool done = false;
        int seenInWait = 0;
        QCoreApplication::postEvent(&window, new QEvent(QEvent::User), Qt::LowEventPriority);
        loop_.Post([&] {
            // A 10 ms timer stands in for the reply timer; 500 ticks bound a broken wait.
            int ticks = 0;
            const auto timer = loop_.StartTimer(10, [&] { ++ticks; });
            while (window.Events == 0 && ticks < 500) loop_.WaitAndDispatch(limit);
            loop_.StopTimer(timer);
            seenInWait = window.Events;
            done = true;
        });
        EXPECT_TRUE(DispatchUntil([&] { return done; }));
        EXPECT_EQ(seenInWait, 1);
    }
}

TEST_F(QtMessageLoopTest, WaitReturnsFalseOnlyWhenNothingWasDispatched) {
    EXPECT_FALSE(loop_.WaitAndDispatch(0));
    EXPECT_FALSE(loop_.WaitAndDispatch(20));
    bool ran = false;
    ASSERT_TRUE(loop_.Post([&] { ran = true; }));
    EXPECT_TRUE(loop_.WaitAndDispatch(0));
    EXPECT_TRUE(ran);
}

TEST_F(QtMessageLoopTest, TimersRepeatUntilStoppedAndDelayedTasksRunOnce) {
    int ticks = 0, delayed = 0, cancelled = 0;
    TMessageLoop::TTimerId id = 0;
    id = loop_.StartTimer(1, [&] {
        if (++ticks == 3) loop_.StopTimer(id);  // from inside its own tick
    });
    loop_.PostDelayed(2, [&] { ++delayed; });
    loop_.StopTimer(loop_.PostDelayed(2, [&] { ++cancelled; }));
    ASSERT_TRUE(DispatchUntil([&] { return ticks >= 3 && delayed > 0; }));
    EXPECT_FALSE(loop_.WaitAndDispatch(30));
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(delayed, 1);
    EXPECT_EQ(cancelled, 0);
}

TEST_F(QtMessageLoopTest, DestroyingALoopDropsItsQueuedTasks) {
    auto token = std::make_shared<int>(0);
    {
        TQtMessageLoop doomed;
        ASSERT_TRUE(doomed.Post([token] { ++*token; }));
        doomed.PostDelayed(1, [token] { ++*token; });
        doomed.StartTimer(1, [token] { ++*token; });
    }
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_FALSE(loop_.WaitAndDispatch(20));
    EXPECT_EQ(*token, 0);
}

}  // namespace
