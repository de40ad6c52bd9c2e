#pragma once

#include <cstdint>
#include <memory>

#include "platform/MessageLoop.h"

// The message loop over the Qt event loop of the thread that creates it (a QCoreApplication
// must exist). Posted tasks travel as queued invocations, timers are precise Qt timers,
// and waits run the thread's event dispatcher, so Qt's own events (windows, sockets) are
// dispatched inside them as well. Only this loop's tasks and timers count as dispatched
// for WaitAndDispatch: Qt's events are handled during the wait but do not end it.
class TQtMessageLoop : public TMessageLoop {
public:
    // Throws std::logic_error when there is no QCoreApplication.
    TQtMessageLoop();
    // Tasks still queued are dropped; Post() refuses tasks from the moment destruction starts.
    ~TQtMessageLoop() override;
    TQtMessageLoop(const TQtMessageLoop&) = delete;
    TQtMessageLoop& operator=(const TQtMessageLoop&) = delete;

    bool Post(TTask task) override;
    TTimerId PostDelayed(std::uint32_t delayMs, TTask task) override;
    TTimerId StartTimer(std::uint32_t intervalMs, TTask onTick) override;
    void StopTimer(TTimerId id) override;
    void DispatchPending() override;
    bool WaitAndDispatch(std::int32_t timeoutMs = -1) override;
    std::uint32_t TickCount() const override;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};
