#include "station/StationRecord.h"

#include <windows.h>

#include <thread>

namespace {

// How long the line may take once the life line has ended before the process ends anyway
// (a report on a share that hangs, say): no unit outlives the batch by more than this.
constexpr DWORD kEndPatienceMs = 5000;

// Ends the process at once, as a signal would: nothing of it runs on (no handler of the
// C runtime's exit, which another thread's lock could hold up).
[[noreturn]] void EndNow() {
    ::TerminateProcess(::GetCurrentProcess(), TStationRecord::kExitEnded);
    ::ExitProcess(TStationRecord::kExitEnded);
}

}  // namespace

void TStationRecord::StartWaitingForEnd() {
    std::thread([this] { WaitForEnd(); }).detach();
}

void TStationRecord::WaitForEnd() {
    // The life line is standard input: the batch writes a byte on it when it asks the unit
    // to end, and it ends without one when the batch dies. Nothing else is ever sent.
    char byte = 0;
    DWORD n = 0;
    const bool asked = ::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &n, nullptr) && n == 1;
    std::thread([] {
        ::Sleep(kEndPatienceMs);
        EndNow();
    }).detach();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Once the line is written the process is at its end anyway: let it exit.
        if (written_) return;
        unit_.Ended(kExitEnded, 0, asked ? "the batch was interrupted" : "the station ended");
        WriteLine();
    }
    EndNow();
}
