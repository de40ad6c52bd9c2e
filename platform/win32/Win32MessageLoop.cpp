#include "platform/win32/Win32MessageLoop.h"

#include <memory>
#include <stdexcept>
#include <utility>

namespace {

// WM_APP and up belong to the application. A task message carries the heap block of its
// task in lParam; the handler owns it once the message has been posted.
constexpr UINT kTaskMessage = WM_APP + 2;
constexpr UINT kWakeMessage = WM_APP + 3;

const wchar_t kWindowClass[] = L"BootloaderMessageLoop";

ATOM RegisterLoopClass(WNDPROC procedure) {
    static const ATOM atom = [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return ::RegisterClassExW(&windowClass);
    }();
    return atom;
}

}  // namespace

TWin32MessageLoop::TWin32MessageLoop() {
    if (RegisterLoopClass(&TWin32MessageLoop::WindowProc) == 0)
        throw std::runtime_error("Cannot register the message window class");
    window_ = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) throw std::runtime_error("Cannot create the message window");
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWin32MessageLoop::~TWin32MessageLoop() {
    {
        // From here on Post refuses, and no post is under way.
        std::lock_guard<std::mutex> lock(postMutex_);
        accepting_ = false;
    }
    for (const TTimerTable::TNativeId id : timers_.Clear()) ::KillTimer(window_, static_cast<UINT_PTR>(id));
    // The queued tasks are freed before the window goes: destroying it discards the
    // messages still queued for it, blocks and all.
    MSG message;
    while (::PeekMessageW(&message, window_, kTaskMessage, kTaskMessage, PM_REMOVE))
        delete reinterpret_cast<TTask*>(message.lParam);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
    if (quitPending_) ::PostQuitMessage(quitCode_);
}

LRESULT CALLBACK TWin32MessageLoop::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TWin32MessageLoop*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case kTaskMessage: {
            std::unique_ptr<TTask> task(reinterpret_cast<TTask*>(lParam));
            if (self != nullptr) {
                ++self->ran_;
                if (task && *task) (*task)();
            }
            return 0;
        }
        case kWakeMessage:
            if (self != nullptr) ++self->ran_;
            return 0;
        case WM_TIMER:
            if (self != nullptr) self->RunTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

bool TWin32MessageLoop::Post(TTask task) {
    auto block = std::make_unique<TTask>(std::move(task));
    std::lock_guard<std::mutex> lock(postMutex_);
    if (!accepting_) return false;
    // Fails when the thread's queue is full; the task is then freed here and the caller told.
    if (!::PostMessageW(window_, kTaskMessage, 0, reinterpret_cast<LPARAM>(block.get()))) return false;
    block.release();
    return true;
}

void TWin32MessageLoop::Wake() {
    ::PostMessageW(window_, kWakeMessage, 0, 0);
}

TMessageLoop::TTimerId TWin32MessageLoop::AddTimer(std::uint32_t intervalMs, TTask task, bool repeating) {
    const TTimerId id = ++nextTimerId_;
    // Window timers tick no faster than every 10 ms (USER_TIMER_MINIMUM).
    if (::SetTimer(window_, static_cast<UINT_PTR>(id), intervalMs, nullptr) == 0) return 0;
    timers_.Add(id, static_cast<TTimerTable::TNativeId>(id), repeating, std::move(task));
    return id;
}

TMessageLoop::TTimerId TWin32MessageLoop::PostDelayed(std::uint32_t delayMs, TTask task) {
    return AddTimer(delayMs, std::move(task), false);
}

TMessageLoop::TTimerId TWin32MessageLoop::StartTimer(std::uint32_t intervalMs, TTask onTick) {
    return AddTimer(intervalMs, std::move(onTick), true);
}

void TWin32MessageLoop::StopTimer(TTimerId id) {
    if (const auto native = timers_.Remove(id)) ::KillTimer(window_, static_cast<UINT_PTR>(*native));
}

void TWin32MessageLoop::RunTimer(UINT_PTR rawId) {
    bool expired = false;
    // Shared: the task may stop its own timer or start others.
    const std::shared_ptr<TTask> task = timers_.Tick(static_cast<TTimerTable::TNativeId>(rawId), expired);
    if (!task) {
        // A tick queued before its timer was stopped.
        return;
    }
    if (expired) ::KillTimer(window_, rawId);
    ++ran_;
    if (*task) (*task)();
}

TWin32MessageLoop::TDispatchScope::TDispatchScope(TWin32MessageLoop& loop) : Loop(loop) {
    ++Loop.dispatchDepth_;
}

TWin32MessageLoop::TDispatchScope::~TDispatchScope() {
    if (--Loop.dispatchDepth_ == 0 && Loop.quitPending_) {
        Loop.quitPending_ = false;
        ::PostQuitMessage(Loop.quitCode_);
    }
}

bool TWin32MessageLoop::DispatchQueued() {
    const std::uint64_t before = ran_;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Kept, and posted again when the outermost dispatching call returns: posted
            // now, it would be found again at once and the wait would spin.
            quitRequested_ = true;
            quitPending_ = true;
            quitCode_ = static_cast<int>(message.wParam);
            continue;
        }
        if (filter_ != nullptr && filter_(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return ran_ != before;
}

void TWin32MessageLoop::DispatchPending() {
    TDispatchScope scope(*this);
    DispatchQueued();
}

bool TWin32MessageLoop::WaitAndDispatch(std::int32_t timeoutMs) {
    TDispatchScope scope(*this);
    const DWORD start = ::GetTickCount();
    while (true) {
        if (DispatchQueued()) return true;
        // Messages of other windows, sent messages and the like were handled, none of this
        // loop's tasks or timers: the wait goes on for what is left of its time.
        DWORD limit = INFINITE;
        if (timeoutMs >= 0) {
            const DWORD passed = ::GetTickCount() - start;
            if (passed >= static_cast<DWORD>(timeoutMs)) return false;
            limit = static_cast<DWORD>(timeoutMs) - passed;
        }
        // MWMO_INPUTAVAILABLE: messages already in the queue end the wait too, not only
        // those that arrive during it.
        const DWORD result =
            ::MsgWaitForMultipleObjectsEx(0, nullptr, limit, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_TIMEOUT) return DispatchQueued();
        if (result == WAIT_FAILED) return false;
    }
}

std::uint32_t TWin32MessageLoop::TickCount() const {
    return ::GetTickCount();
}
