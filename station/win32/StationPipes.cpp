#include "station/win32/StationPipes.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// What a reader holds for the batch before the batch takes it. A process that floods its
// pipe is held back here rather than the batch's memory filling up: the reader waits.
constexpr std::size_t kHeldLimit = 1 << 20;

struct TPipe {
    HANDLE Handle = nullptr;  // closed when the pipe is forgotten, so its number stays its own till then
    std::string Held;
    bool Ended = false;
};

struct TRegistry {
    std::mutex Mutex;
    std::condition_variable Changed;  // bytes or an end arrived, or bytes were taken
    std::map<int, std::shared_ptr<TPipe>> Pipes;
};

// Never destroyed: a reader may still be blocked in its read when the program exits.
TRegistry& Registry() {
    static TRegistry* registry = new TRegistry;
    return *registry;
}

void Read(HANDLE handle, std::shared_ptr<TPipe> pipe) {
    TRegistry& r = Registry();
    char buffer[8192];
    while (true) {
        DWORD n = 0;
        const bool read = ::ReadFile(handle, buffer, sizeof buffer, &n, nullptr) != 0;
        if (!read) break;  // the writer's end closed (ERROR_BROKEN_PIPE), or the pipe failed
        if (n == 0) continue;
        std::unique_lock<std::mutex> lock(r.Mutex);
        r.Changed.wait(lock, [&] { return pipe->Held.size() < kHeldLimit; });
        pipe->Held.append(buffer, n);
        r.Changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(r.Mutex);
    pipe->Ended = true;
    r.Changed.notify_all();
}

}  // namespace

namespace StationPipes {

int Start(HANDLE readEnd) {
    TRegistry& r = Registry();
    auto pipe = std::make_shared<TPipe>();
    pipe->Handle = readEnd;
    // A handle's value is within 32 bits, so that it passes between processes of either width.
    const int number = static_cast<int>(reinterpret_cast<std::intptr_t>(readEnd));
    {
        std::lock_guard<std::mutex> lock(r.Mutex);
        r.Pipes[number] = pipe;
    }
    std::thread(Read, readEnd, pipe).detach();
    return number;
}

void Wait(const std::vector<int>& pipes, int ms, std::vector<bool>& ready) {
    TRegistry& r = Registry();
    std::unique_lock<std::mutex> lock(r.Mutex);
    auto check = [&] {
        bool any = false;
        ready.assign(pipes.size(), false);
        for (std::size_t i = 0; i < pipes.size(); ++i) {
            const auto found = r.Pipes.find(pipes[i]);
            ready[i] = found == r.Pipes.end() || !found->second->Held.empty() || found->second->Ended;
            any = any || ready[i];
        }
        return any;
    };
    r.Changed.wait_for(lock, std::chrono::milliseconds(ms), check);
    check();
}

bool Take(int pipe, std::string& into) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.Mutex);
    const auto found = r.Pipes.find(pipe);
    if (found == r.Pipes.end()) return false;
    if (found->second->Held.empty() && found->second->Ended) {
        ::CloseHandle(found->second->Handle);
        r.Pipes.erase(found);
        return false;
    }
    into += found->second->Held;
    found->second->Held.clear();
    r.Changed.notify_all();
    return true;
}

void Forget(int pipe) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.Mutex);
    const auto found = r.Pipes.find(pipe);
    // A reader still reading keeps its handle, and so its number, for good.
    if (found == r.Pipes.end() || !found->second->Ended) return;
    ::CloseHandle(found->second->Handle);
    r.Pipes.erase(found);
}

bool Ended(int pipe) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.Mutex);
    const auto found = r.Pipes.find(pipe);
    return found == r.Pipes.end() || found->second->Ended;
}

}  // namespace StationPipes
