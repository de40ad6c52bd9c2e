#pragma once

#include <windows.h>

#include <atomic>
#include <map>

#include "platform/MessageLoop.h"

// The message loop of the user-interface thread on Windows: a hidden message-only window
// whose handler runs on the thread that created the loop. Posted tasks travel as messages
// (PostMessage from any thread, FIFO), timers are window timers (SetTimer), and a wait
// blocks in MsgWaitForMultipleObjects and then dispatches every pending message of the
// thread, so that received chunks, the reply timer and whatever else the thread's windows
// get all run while a request waits.
//
// Everything but Post() and Wake() runs on the creating thread.
class TWin32MessageLoop : public TMessageLoop {
public:
    TWin32MessageLoop();
    // Frees the tasks still queued without running them.
    ~TWin32MessageLoop() override;
    TWin32MessageLoop(const TWin32MessageLoop&) = delete;
    TWin32MessageLoop& operator=(const TWin32MessageLoop&) = delete;

    bool Post(TTask task) override;
    TTimerId PostDelayed(std::uint32_t delayMs, TTask task) override;
    TTimerId StartTimer(std::uint32_t intervalMs, TTask onTick) override;
    void StopTimer(TTimerId id) override;
    void DispatchPending() override;
    bool WaitAndDispatch(std::int32_t timeoutMs = -1) override;
    std::uint32_t TickCount() const override;

    // Ends a wait of WaitAndDispatch from any thread, by a message that does nothing.
    void Wake();

    // Sees every message a dispatch takes from the queue before it is translated and
    // dispatched; returns true when it has handled the message itself. A window program
    // gives its dialogs' keyboard navigation (IsDialogMessage) this way, so that Tab and
    // Enter work in them during every wait.
    using TMessageFilter = bool (*)(MSG& message);
    void SetMessageFilter(TMessageFilter filter) { filter_ = filter; }

private:
    struct TTimer {
        TTask Task;
        bool Repeating = false;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void RunTimer(UINT_PTR id);
    TTimerId AddTimer(std::uint32_t intervalMs, TTask task, bool repeating);

    HWND window_ = nullptr;
    std::atomic<bool> accepting_{true};
    std::map<TTimerId, TTimer> timers_;
    TTimerId nextTimerId_ = 0;
    TMessageFilter filter_ = nullptr;
};
