#include "platform/qt/QtMessageLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <QTimerEvent>
#include <atomic>
#include <chrono>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "platform/TimerTable.h"

namespace {

// One posted event per posted task: it carries no data, it only tells the loop's thread
// to run the next task of the loop's own queue.
const QEvent::Type kTaskEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Receives the task events and the timer events of one loop. Timers are Qt timers of this
// object rather than QTimer objects, so that a one-shot timer can be killed from inside its
// own event without deleting the object that delivers it.
class TLoopContext : public QObject {
public:
    TLoopContext(std::function<void(int)> onTimer, std::function<void()> onTask)
        : onTimer_(std::move(onTimer)), onTask_(std::move(onTask)) {}

    bool event(QEvent* event) override {
        if (event->type() != kTaskEvent) return QObject::event(event);
        onTask_();
        return true;
    }

protected:
    void timerEvent(QTimerEvent* event) override { onTimer_(event->timerId()); }

private:
    std::function<void(int)> onTimer_;
    std::function<void()> onTask_;
};

}  // namespace

struct TQtMessageLoop::TImpl {
    std::unique_ptr<TLoopContext> Context;

    // Guards Accepting, Tasks and the context pointer against Post() from other threads
    // while the loop runs tasks or is being destroyed. The tasks travel through this
    // queue, not inside Qt's events, so that their hand-over between threads is made
    // under a lock of this program's own, which the thread sanitizer can see.
    std::mutex PostMutex;
    bool Accepting = true;
    std::deque<TTask> Tasks;
    // Posted tasks not yet run; lets a wait dispatch them without blocking first.
    std::atomic<std::uint64_t> Queued{0};

    // Our tasks and timer callbacks run so far; a wait compares it to see whether it
    // dispatched anything.
    std::uint64_t Dispatched = 0;

    TTimerId NextId = 1;
    TTimerTable Timers;

    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();

    TTimerId AddTimer(std::uint32_t intervalMs, bool repeating, TTask task) {
        const int interval = static_cast<int>(
            std::min<std::uint32_t>(intervalMs, static_cast<std::uint32_t>(std::numeric_limits<int>::max())));
        const int qtId = Context->startTimer(interval, Qt::PreciseTimer);
        if (qtId == 0) return 0;
        const TTimerId id = NextId++;
        Timers.Add(id, static_cast<TTimerTable::TNativeId>(qtId), repeating, std::move(task));
        return id;
    }

    // A task event arrived: runs the oldest posted task.
    void OnTask() {
        TTask task;
        {
            std::lock_guard lock(PostMutex);
            if (Tasks.empty()) return;
            task = std::move(Tasks.front());
            Tasks.pop_front();
        }
        Queued.fetch_sub(1, std::memory_order_acq_rel);
        ++Dispatched;
        task();
    }

    void OnTimer(int qtId) {
        bool expired = false;
        const std::shared_ptr<TTask> task = Timers.Tick(static_cast<TTimerTable::TNativeId>(qtId), expired);
        if (!task) return;
        if (expired) Context->killTimer(qtId);
        ++Dispatched;
        (*task)();
    }
};

TQtMessageLoop::TQtMessageLoop() : impl_(std::make_unique<TImpl>()) {
    if (QCoreApplication::instance() == nullptr)
        throw std::logic_error("TQtMessageLoop needs a QCoreApplication");
    TImpl* impl = impl_.get();
    impl_->Context =
        std::make_unique<TLoopContext>([impl](int qtId) { impl->OnTimer(qtId); }, [impl] { impl->OnTask(); });
}

TQtMessageLoop::~TQtMessageLoop() {
    std::deque<TTask> dropped;
    {
        std::lock_guard lock(impl_->PostMutex);
        impl_->Accepting = false;
        for (const TTimerTable::TNativeId qtId : impl_->Timers.Clear())
            impl_->Context->killTimer(static_cast<int>(qtId));
        // Deleting the context drops the events still queued for it.
        impl_->Context.reset();
        dropped.swap(impl_->Tasks);
    }
    // The tasks that never ran are destroyed outside the lock: what they own (a received
    // chunk, say) is released, and nothing they release can deadlock against Post().
}

bool TQtMessageLoop::Post(TTask task) {
    TImpl* impl = impl_.get();
    std::lock_guard lock(impl->PostMutex);
    if (!impl->Accepting) return false;
    impl->Tasks.push_back(std::move(task));
    impl->Queued.fetch_add(1, std::memory_order_acq_rel);
    // Qt takes ownership of the event and delivers it on the context's thread.
    QCoreApplication::postEvent(impl->Context.get(), new QEvent(kTaskEvent));
    return true;
}

TMessageLoop::TTimerId TQtMessageLoop::PostDelayed(std::uint32_t delayMs, TTask task) {
    return impl_->AddTimer(delayMs, false, std::move(task));
}

TMessageLoop::TTimerId TQtMessageLoop::StartTimer(std::uint32_t intervalMs, TTask onTick) {
    return impl_->AddTimer(intervalMs, true, std::move(onTick));
}

void TQtMessageLoop::StopTimer(TTimerId id) {
    if (const auto qtId = impl_->Timers.Remove(id)) impl_->Context->killTimer(static_cast<int>(*qtId));
}

void TQtMessageLoop::DispatchPending() {
    // The events already queued first (see WaitAndDispatch), then whatever the
    // dispatcher has ready.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TQtMessageLoop::WaitAndDispatch(std::int32_t timeoutMs) {
    TImpl& impl = *impl_;
    const std::uint64_t before = impl.Dispatched;
    if (timeoutMs == 0) {
        DispatchPending();
        return impl.Dispatched != before;
    }

    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    bool timedOut = false;
    QTimer limit;
    if (timeoutMs > 0) {
        limit.setSingleShot(true);
        limit.setTimerType(Qt::PreciseTimer);
        QObject::connect(&limit, &QTimer::timeout, [&timedOut] { timedOut = true; });
        limit.start(timeoutMs);
    }

    while (true) {
        // Deliver every event already queued before blocking. A wait usually runs inside a
        // task, that is inside the dispatcher's own delivery of posted events, and the
        // events still queued behind that task (a repaint request posted at low priority
        // when Start was disabled, say) are not delivered by a nested dispatcher pass:
        // the GLib dispatcher looks at the queue again only after a new post wakes it,
        // so without this the window would keep its old picture for the whole wait.
        QCoreApplication::sendPostedEvents();
        if (impl.Dispatched != before) return true;
        // Blocks until an event, a timer or a wake-up by a post (from any thread); what
        // is posted from now on wakes the dispatcher and is delivered by it.
        if (impl.Queued.load(std::memory_order_acquire) > 0)
            dispatcher->processEvents(QEventLoop::AllEvents);
        else
            dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (impl.Dispatched != before) return true;
        if (timedOut) return false;
        // Qt's own events (and its internal wake-ups) were handled, none of this loop's
        // tasks: keep waiting. The dispatcher's result cannot tell a real event from a
        // wake-up, and the callers' state only changes in this loop's tasks and timers.
    }
}

std::uint32_t TQtMessageLoop::TickCount() const {
    const auto elapsed = std::chrono::steady_clock::now() - impl_->Start;
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}
