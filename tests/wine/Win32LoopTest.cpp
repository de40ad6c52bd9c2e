// Checks of the Win32 message loop, receive thread and port claim, cross-built and run
// under Wine by the suite. Exit status 0 when every check holds; each failed check is
// named on standard error. "Win32LoopTest --claim NAME" is the second instance of the
// claim check: exit status 0 when it could claim NAME, 1 when it was refused.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/win32/Win32PortFactory.h"
#include "link/win32/Win32RxThread.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32MessageLoop.h"

namespace {

int failures = 0;

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

// The tasks still queued when the loop goes are freed, not left in a discarded queue.
void QueuedTasksAreFreedWithTheLoop() {
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    {
        TWin32MessageLoop loop;
        Check(loop.Post([held = std::move(token)] {}), "a task is taken");
    }
    Check(watch.expired(), "a task queued when the loop went is freed");
}

// A message sent from another thread wakes the wait but runs none of the loop's tasks: the
// wait goes on to its time limit, and reports it.
void StrayMessageDoesNotEndTheWaitEarly() {
    TWin32MessageLoop loop;
    const HWND other =
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    Check(other != nullptr, "a window to send to");
    std::thread sender([other] {
        ::Sleep(50);
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(other, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    });
    const DWORD start = ::GetTickCount();
    const bool dispatched = loop.WaitAndDispatch(400);
    const DWORD waited = ::GetTickCount() - start;
    sender.join();
    Check(!dispatched, "a wait that ran no task reports its time limit");
    Check(waited >= 380, "a sent message does not end the wait before its time limit");
    bool ran = false;
    loop.Post([&ran] { ran = true; });
    Check(loop.WaitAndDispatch(400) && ran, "a wait that ran a task says so");
    ::DestroyWindow(other);
}

// A WM_QUIT is kept, not found again at once: the wait keeps its time limit, and the quit
// is posted again for the thread's own loop once the wait has returned.
void QuitKeepsTheWaitsTimeLimit() {
    TWin32MessageLoop loop;
    ::PostQuitMessage(7);
    const DWORD start = ::GetTickCount();
    const bool dispatched = loop.WaitAndDispatch(200);
    const DWORD waited = ::GetTickCount() - start;
    Check(!dispatched, "a wait with only WM_QUIT queued reports its time limit");
    Check(waited >= 180, "WM_QUIT does not end a wait at once");
    Check(loop.QuitRequested(), "the loop tells that WM_QUIT came");
    MSG message;
    Check(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && message.wParam == 7,
          "WM_QUIT is queued again after the wait");
}

// The Win32 loop, refusing posts while told to, as it does when the thread's queue holds
// its 10,000 posted messages (Wine sets no such limit, so it is brought about here).
class TRefusingLoop : public TMessageLoop {
public:
    bool Post(TTask task) override { return !Refusing.load() && Loop.Post(std::move(task)); }
    TTimerId PostDelayed(std::uint32_t delayMs, TTask task) override {
        return Loop.PostDelayed(delayMs, std::move(task));
    }
    TTimerId StartTimer(std::uint32_t intervalMs, TTask onTick) override {
        return Loop.StartTimer(intervalMs, std::move(onTick));
    }
    void StopTimer(TTimerId id) override { Loop.StopTimer(id); }
    void DispatchPending() override { Loop.DispatchPending(); }
    bool WaitAndDispatch(std::int32_t timeoutMs) override { return Loop.WaitAndDispatch(timeoutMs); }
    std::uint32_t TickCount() const override { return Loop.TickCount(); }

    TWin32MessageLoop Loop;
    std::atomic<bool> Refusing{false};
};

// Posts refused for a while (a full queue) lose no received byte: the receive thread keeps
// what it reads and delivers all of it, in order, once posts are taken again.
void RefusedPostsLoseNoReceivedBytes() {
    const wchar_t* name = L"\\\\.\\pipe\\Win32LoopTestFlood";
    TWin32Handle server(::CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE,
                                           1, 0, 65536, 0, nullptr));
    TWin32Handle client(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Check(server && client, "a pipe stands in for the port");
    if (!server || !client) return;

    TRefusingLoop loop;
    std::vector<std::uint8_t> received;
    auto receiver = TWin32RxThread::Start(server.Get(), loop,
                                          [&](std::unique_ptr<std::uint8_t[]> block, std::uint16_t n) {
                                              received.insert(received.end(), block.get(), block.get() + n);
                                          });
    Check(receiver != nullptr, "the receive thread starts");
    if (!receiver) return;

    std::vector<std::uint8_t> sent(200000);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    loop.Refusing = true;
    std::thread writer([&] {
        for (std::size_t done = 0; done < sent.size();) {
            DWORD n = 0;
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(4096, sent.size() - done));
            if (!::WriteFile(client.Get(), sent.data() + done, piece, &n, nullptr)) return;
            done += n;
        }
    });
    ::Sleep(300);  // the thread reads what it may and cannot post it
    loop.Refusing = false;
    const DWORD start = ::GetTickCount();
    while (received.size() < sent.size() && ::GetTickCount() - start < 20000) loop.WaitAndDispatch(100);
    Check(!receiver->Ended(), "the receive thread is still running");
    Check(received == sent, "every byte arrives, in order");
    // A writer still blocked on a reader that ended gets an error once the pipe goes.
    receiver.reset();
    server.Reset();
    writer.join();
}

// Every instance of the updater is kept off a claimed device, also between its opens.
bool AnotherInstanceClaims(const char* device) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --claim ";
    for (const char* c = device; *c; ++c) command += static_cast<wchar_t>(*c);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    TWin32Handle thread(process.hThread);
    TWin32Handle child(process.hProcess);
    DWORD status = 2;
    ::WaitForSingleObject(child.Get(), 10000);
    ::GetExitCodeProcess(child.Get(), &status);
    return status == 0;
}

void ClaimHoldsTheDeviceBetweenItsOpens() {
    TWin32PortFactory factory;
    TPortOpenFailure why;
    auto claim = factory.Claim("NUL", why);
    Check(claim != nullptr, "a character device is claimed");
    if (!claim) return;
    Check(factory.Claim("nul", why) == nullptr, "a claimed device is busy for a second claim");
    Check(why.Reason == TPortOpenFailure::TReason::Busy && why.Holder == "another instance of the updater",
          "a second claim is refused as busy, held by another instance of the updater");
    // No COM name: Wine would fall back to a serial device of the machine for one.
    why = {};
    Check(factory.Claim("\\\\.\\BootloaderNoSuchDevice", why) == nullptr &&
              why.Reason == TPortOpenFailure::TReason::Missing && !why.SystemText.empty(),
          "a device that does not exist is missing, with the system's message");
    Check(!AnotherInstanceClaims("NUL"), "a claimed device is busy for another process");
    {
        auto device = claim->Open(why);
        Check(device != nullptr, "the claim opens its device");
    }
    Check(!AnotherInstanceClaims("\\\\.\\NUL"), "the device stays claimed while no open of it is alive");
    auto again = claim->Open(why);
    Check(again != nullptr, "the claim opens its device again");
    again.reset();
    claim.reset();
    Check(AnotherInstanceClaims("NUL"), "a device given up can be claimed by another process");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--claim") == 0) {
        TWin32PortFactory factory;
        TPortOpenFailure why;
        return factory.Claim(argv[2], why) ? 0 : 1;
    }
    QueuedTasksAreFreedWithTheLoop();
    StrayMessageDoesNotEndTheWaitEarly();
    QuitKeepsTheWaitsTimeLimit();
    RefusedPostsLoseNoReceivedBytes();
    ClaimHoldsTheDeviceBetweenItsOpens();
    std::printf("%s\n", failures == 0 ? "all checks hold" : "checks failed");
    return failures == 0 ? 0 : 1;
}
