#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/MessageLoop.h"
#include "platform/TimerTable.h"

// The message loop of the user-interface thread on Windows: a hidden message-only window
// whose handler runs on the thread that created the loop. Posted tasks travel as messages
// (PostMessage from any thread, FIFO), timers are window timers (SetTimer), and a wait
// blocks in MsgWaitForMultipleObjects and then dispatches every pending message of the
// thread, so that received chunks, the reply timer and whatever else the thread's windows
// get all run while a request waits.
//
// A WM_QUIT that a wait finds is taken out of the queue and kept (QuitRequested()): the wait
// goes on as if it had not come, its time limit included, and the loop posts it again when
// the outermost of its dispatching calls returns, for the thread's own loop to see.
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

    // Ends a wait of WaitAndDispatch from any thread, by a message that counts as a task.
    void Wake();

    // True once a WM_QUIT has been taken from the queue by this loop.
    bool QuitRequested() const { return quitRequested_; }

    // Sees every message a dispatch takes from the queue before it is translated and
    // dispatched; returns true when it has handled the message itself. A window program
    // gives its dialogs' keyboard navigation (IsDialogMessage) this way, so that Tab and
    // Enter work in them during every wait.
    using TMessageFilter = bool (*)(MSG& message);
    void SetMessageFilter(TMessageFilter filter) { filter_ = filter; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Dispatches what the queue holds now. True when a task, a wake-up or a timer of this
    // loop ran.
    bool DispatchQueued();
    // Counts a dispatching call; the outermost one posts a kept WM_QUIT again on return.
    struct TDispatchScope {
        explicit TDispatchScope(TWin32MessageLoop& loop);
        ~TDispatchScope();
        TWin32MessageLoop& Loop;
    };
    void RunTimer(UINT_PTR id);
    TTimerId AddTimer(std::uint32_t intervalMs, TTask task, bool repeating);

    HWND window_ = nullptr;
    // Post holds it while it posts; the destructor takes it to stop posting, so that no
    // task reaches the queue once it has been drained.
    std::mutex postMutex_;
    bool accepting_ = true;
    // This loop's tasks, wake-ups and timers run so far.
    std::uint64_t ran_ = 0;
    int dispatchDepth_ = 0;
    bool quitRequested_ = false;
    bool quitPending_ = false;
    int quitCode_ = 0;
    TTimerTable timers_;
    TTimerId nextTimerId_ = 0;
    TMessageFilter filter_ = nullptr;
};
