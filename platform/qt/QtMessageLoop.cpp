#include "platform/qt/QtMessageLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <QTimerEvent>

#include <atomic>
#include <chrono>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace {

// Receives the queued task invocations and the timer events of one loop. Timers are Qt
// timers of this object rather than QTimer objects, so that a one-shot timer can be
// killed from inside its own event without deleting the object that delivers it.
class TLoopContext : public QObject {
public:
    explicit TLoopContext(std::function<void(int)> onTimer) : onTimer_(std::move(onTimer)) {}

protected:
    void timerEvent(QTimerEvent* event) override { onTimer_(event->timerId()); }

private:
    std::function<void(int)> onTimer_;
};

}  // namespace

struct TQtMessageLoop::TImpl {
    struct TTimer {
        TTimerId Id;
        bool Repeating;
        // Shared so that a task that stops its own timer is not destroyed while it runs.
        std::shared_ptr<TTask> Task;
    };

    std::unique_ptr<TLoopContext> Context;

    // Guards Accepting and the context pointer against Post() from other threads while
    // the loop is being destroyed.
    std::mutex PostMutex;
    bool Accepting = true;
    // Posted tasks not yet run; lets a wait dispatch them without blocking first.
    std::atomic<std::uint64_t> Queued{0};

    // Our tasks and timer callbacks run so far; a wait compares it to see whether it
    // dispatched anything.
    std::uint64_t Dispatched = 0;

    TTimerId NextId = 1;
    std::map<int, TTimer> TimersByQtId;
    std::map<TTimerId, int> QtIdById;

    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();

    TTimerId AddTimer(std::uint32_t intervalMs, bool repeating, TTask task) {
        const int interval = static_cast<int>(
            std::min<std::uint32_t>(intervalMs, static_cast<std::uint32_t>(std::numeric_limits<int>::max())));
        const int qtId = Context->startTimer(interval, Qt::PreciseTimer);
        if (qtId == 0)
            return 0;
        const TTimerId id = NextId++;
        TimersByQtId.emplace(qtId, TTimer{id, repeating, std::make_shared<TTask>(std::move(task))});
        QtIdById.emplace(id, qtId);
        return id;
    }

    void OnTimer(int qtId) {
        const auto found = TimersByQtId.find(qtId);
        if (found == TimersByQtId.end())
            return;
        const std::shared_ptr<TTask> task = found->second.Task;
        if (!found->second.Repeating) {
            QtIdById.erase(found->second.Id);
            TimersByQtId.erase(found);
            Context->killTimer(qtId);
        }
        ++Dispatched;
        (*task)();
    }
};

TQtMessageLoop::TQtMessageLoop() : impl_(std::make_unique<TImpl>()) {
    if (QCoreApplication::instance() == nullptr)
        throw std::logic_error("TQtMessageLoop needs a QCoreApplication");
    TImpl* impl = impl_.get();
    impl_->Context = std::make_unique<TLoopContext>([impl](int qtId) { impl->OnTimer(qtId); });
}

TQtMessageLoop::~TQtMessageLoop() {
    std::lock_guard lock(impl_->PostMutex);
    impl_->Accepting = false;
    for (const auto& [qtId, timer] : impl_->TimersByQtId)
        impl_->Context->killTimer(qtId);
    impl_->TimersByQtId.clear();
    impl_->QtIdById.clear();
    // Deleting the context drops the invocations still queued for it, and their tasks.
    impl_->Context.reset();
}

bool TQtMessageLoop::Post(TTask task) {
    TImpl* impl = impl_.get();
    std::lock_guard lock(impl->PostMutex);
    if (!impl->Accepting)
        return false;
    impl->Queued.fetch_add(1, std::memory_order_acq_rel);
    const bool queued = QMetaObject::invokeMethod(
        impl->Context.get(),
        [impl, task = std::move(task)] {
            impl->Queued.fetch_sub(1, std::memory_order_acq_rel);
            ++impl->Dispatched;
            task();
        },
        Qt::QueuedConnection);
    if (!queued)
        impl->Queued.fetch_sub(1, std::memory_order_acq_rel);
    return queued;
}

TMessageLoop::TTimerId TQtMessageLoop::PostDelayed(std::uint32_t delayMs, TTask task) {
    return impl_->AddTimer(delayMs, false, std::move(task));
}

TMessageLoop::TTimerId TQtMessageLoop::StartTimer(std::uint32_t intervalMs, TTask onTick) {
    return impl_->AddTimer(intervalMs, true, std::move(onTick));
}

void TQtMessageLoop::StopTimer(TTimerId id) {
    const auto found = impl_->QtIdById.find(id);
    if (found == impl_->QtIdById.end())
        return;
    const int qtId = found->second;
    impl_->QtIdById.erase(found);
    impl_->TimersByQtId.erase(qtId);
    impl_->Context->killTimer(qtId);
}

void TQtMessageLoop::DispatchPending() {
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
        // A waiting dispatcher handles the queue of posted events only before it blocks,
        // so posted tasks are run without waiting; otherwise it blocks until an event,
        // a timer or a wake-up by a post from another thread.
        if (impl.Queued.load(std::memory_order_acquire) > 0)
            dispatcher->processEvents(QEventLoop::AllEvents);
        else
            dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (impl.Dispatched != before)
            return true;
        if (timedOut)
            return false;
        // Qt's own events (and its internal wake-ups) were handled, none of this loop's
        // tasks: keep waiting. The dispatcher's result cannot tell a real event from a
        // wake-up, and the callers' state only changes in this loop's tasks and timers.
    }
}

std::uint32_t TQtMessageLoop::TickCount() const {
    const auto elapsed = std::chrono::steady_clock::now() - impl_->Start;
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}
