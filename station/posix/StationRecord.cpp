#include "station/StationRecord.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>

namespace {

sigset_t EndSignals() {
    sigset_t set;
    ::sigemptyset(&set);
    for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) ::sigaddset(&set, s);
    return set;
}

}  // namespace

void TStationRecord::StartWaitingForEnd() {
    // Blocked in this thread too (they are from exec on, in a unit started by a batch), and
    // so in every thread made later: only the record's own thread takes them.
    const sigset_t set = EndSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([this] { WaitForEnd(); }).detach();
}

void TStationRecord::WaitForEnd() {
    const sigset_t set = EndSignals();
    while (true) {
        siginfo_t info{};
        const int signal = ::sigwaitinfo(&set, &info);
        if (signal < 0) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // Once the line is written the process is at its end anyway: let it exit.
            if (written_) continue;
            std::string reason;
            if (::getppid() != setup_.Station)
                reason = "the station ended";
            else if (info.si_pid == setup_.Station)
                reason = "the batch was interrupted";
            unit_.Ended(std::nullopt, signal, reason);
            WriteLine();
        }
        // Ended by the signal itself, as the batch's wait then sees it; no core file.
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::signal(signal, SIG_DFL);
        sigset_t one;
        ::sigemptyset(&one);
        ::sigaddset(&one, signal);
        ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        ::raise(signal);
        ::_exit(128 + signal);
    }
}
