#include "station/StationChild.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "platform/win32/SystemText.h"
#include "platform/win32/WideText.h"
#include "station/win32/StationPipes.h"

namespace {

// The exit status of a unit's process that the batch ended outright, as a shell shows a
// process that SIGKILL ended.
constexpr UINT kKilledExitStatus = 137;
// How long the pipes of a process that has ended may take to reach their ends.
constexpr auto kPipeEndPatience = std::chrono::seconds(2);

std::runtime_error SystemError(const std::string& what) {
    std::string reason = SystemMessage(::GetLastError());
    if (!reason.empty() && reason.back() == '.') reason.pop_back();
    return std::runtime_error(what + ": " + reason);
}

int Number(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

HANDLE FromNumber(int number) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(number));
}

// One argument as the C runtime's parser of a command line reads it back.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++backslashes;
            ++i;
        }
        if (i == argument.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        quoted += argument[i];
    }
    return quoted + L"\"";
}

// The batch's job: every unit's process runs in it, so the system shows them as the batch's,
// and a unit that crashes ends at once rather than behind an error dialog nobody closes on
// an unattended line. The job ends no process when its last handle closes: a unit must
// outlive a killed batch long enough to write its line, and ends itself when its life line
// breaks.
HANDLE Job() {
    static const HANDLE job = [] {
        // The units inherit this process's window station and desktop, on which each makes
        // its message window. Taken here once, before the first unit starts: otherwise, under
        // Wine, units starting together now and then get none, and their first window fails.
        ::GetDesktopWindow();
        const HANDLE made = ::CreateJobObjectW(nullptr, nullptr);
        if (made) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
            ::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return made;
    }();
    return job;
}

// Owns handles until they are released.
struct THandles {
    std::vector<HANDLE> Held;
    HANDLE Add(HANDLE h) {
        if (h && h != INVALID_HANDLE_VALUE) Held.push_back(h);
        return h;
    }
    ~THandles() {
        for (const HANDLE h : Held) ::CloseHandle(h);
    }
};

// A pipe whose read end stays with the batch and whose write end (or, with readable, read
// end) the unit inherits.
void MakePipe(HANDLE& batchEnd, HANDLE& unitEnd, bool unitReads, THandles& own) {
    HANDLE read = nullptr, write = nullptr;
    if (!::CreatePipe(&read, &write, nullptr, 0)) throw SystemError("cannot make a pipe");
    own.Add(read);
    own.Add(write);
    batchEnd = unitReads ? write : read;
    unitEnd = unitReads ? read : write;
    if (!::SetHandleInformation(unitEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
        throw SystemError("cannot make a pipe");
}

}  // namespace

struct TStationChild::TNative {
    HANDLE Process = nullptr;
    HANDLE Thread = nullptr;    // the first thread, suspended until the process is released
    HANDLE LifeLine = nullptr;  // the write end of the unit's standard input
    std::optional<std::chrono::steady_clock::time_point> EndSeen;  // when the process was first seen ended
};

TStationChild::TStationChild(const std::string& program, const TArguments& args, int reportFd)
    : native_(std::make_unique<TNative>()) {
    const HANDLE job = Job();
    // Every handle made here is closed when the constructor ends, but those handed on.
    THandles own;
    HANDLE eventsRead, eventsWrite, errorsRead, errorsWrite, lifeLine, lifeRead;
    MakePipe(eventsRead, eventsWrite, false, own);
    MakePipe(errorsRead, errorsWrite, false, own);
    MakePipe(lifeLine, lifeRead, true, own);
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE null =
        own.Add(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inheritable, OPEN_EXISTING, 0, nullptr));
    if (null == INVALID_HANDLE_VALUE) throw SystemError("cannot open NUL");
    HANDLE report = nullptr;
    if (reportFd >= 0 && !::DuplicateHandle(::GetCurrentProcess(), FromNumber(reportFd),
                                            ::GetCurrentProcess(), &report, 0, TRUE, DUPLICATE_SAME_ACCESS))
        throw SystemError("cannot pass on the report");
    own.Add(report);

    std::wstring commandLine = Quoted(WideFromUtf8(program));
    for (const std::string& a : args(Number(eventsWrite), report ? Number(report) : -1))
        commandLine += L" " + Quoted(WideFromUtf8(a));

    // The unit inherits these handles and no other, whatever else this process holds.
    std::vector<HANDLE> inherited = {eventsWrite, errorsWrite, lifeRead, null};
    if (report) inherited.push_back(report);
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> listBytes(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) throw SystemError("cannot start a process");
    const bool listed =
        ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                    inherited.size() * sizeof(HANDLE), nullptr, nullptr) != 0;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = lifeRead;
    startup.StartupInfo.hStdOutput = null;
    startup.StartupInfo.hStdError = errorsWrite;
    startup.lpAttributeList = list;
    PROCESS_INFORMATION info{};
    // A console of its own, without a window: the batch's console's Ctrl-C and its closing
    // reach the batch only. (With no console at all, DETACHED_PROCESS, Wine keeps the
    // standard error's pipe open after the process ends.) Suspended: it is put in the job
    // first, so that nothing of it runs outside, and is held until released.
    const DWORD flags =
        EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP;
    const bool started =
        listed && ::CreateProcessW(WideFromUtf8(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                   flags, nullptr, nullptr, &startup.StartupInfo, &info) != 0;
    const std::runtime_error failure =
        started ? std::runtime_error("") : SystemError("cannot start a process");
    ::DeleteProcThreadAttributeList(list);
    if (!started) throw failure;
    // Outside the job (the system refuses, say, when this process's own job forbids it) the
    // unit still ends with its life line, and Kill ends it alone.
    if (job) ::AssignProcessToJobObject(job, info.hProcess);
    // Held, suspended, until Release().
    native_->Thread = info.hThread;
    native_->Process = info.hProcess;
    pid_ = static_cast<int>(info.dwProcessId);
    // The batch keeps its ends: they leave own's care.
    std::erase(own.Held, eventsRead);
    std::erase(own.Held, errorsRead);
    std::erase(own.Held, lifeLine);
    native_->LifeLine = lifeLine;
    events_ = StationPipes::Start(eventsRead);
    errors_ = StationPipes::Start(errorsRead);
}

void TStationChild::Release() {
    if (!native_->Thread) return;
    ::ResumeThread(native_->Thread);
    ::CloseHandle(native_->Thread);
    native_->Thread = nullptr;
}

TStationChild::~TStationChild() {
    if (native_->Thread) ::CloseHandle(native_->Thread);
    if (native_->Process) {
        if (!reaped_) {
            ::TerminateProcess(native_->Process, kKilledExitStatus);
            ::WaitForSingleObject(native_->Process, 5000);
        }
        ::CloseHandle(native_->Process);
    }
    if (native_->LifeLine) ::CloseHandle(native_->LifeLine);
    // The process has gone: its pipes reach their ends in a moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (const int pipe : {events_, errors_}) {
        if (pipe < 0) continue;
        while (!StationPipes::Ended(pipe) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        StationPipes::Forget(pipe);
    }
}

void TStationChild::Terminate() const {
    if (!native_->LifeLine || reaped_) return;
    // A byte first, so that the unit tells the batch's request from the batch's death.
    DWORD n = 0;
    ::WriteFile(native_->LifeLine, "T", 1, &n, nullptr);
    ::CloseHandle(native_->LifeLine);
    native_->LifeLine = nullptr;
}

void TStationChild::Kill() const {
    if (native_->Process && !reaped_) ::TerminateProcess(native_->Process, kKilledExitStatus);
}

bool TStationChild::TryReap(std::optional<int>& exitStatus, int& signal) {
    if (reaped_) return true;
    if (!native_->Process || ::WaitForSingleObject(native_->Process, 0) != WAIT_OBJECT_0) return false;
    // Reaped once all it wrote has been read off its pipes, which end with it; should a pipe
    // not end (a write end held elsewhere), what it held by then is all there is.
    const auto now = std::chrono::steady_clock::now();
    if (!native_->EndSeen) native_->EndSeen = now;
    for (const int pipe : {events_, errors_})
        if (pipe >= 0 && !StationPipes::Ended(pipe) && now - *native_->EndSeen < kPipeEndPatience)
            return false;
    DWORD code = 0;
    ::GetExitCodeProcess(native_->Process, &code);
    reaped_ = true;
    exitStatus = static_cast<int>(code);
    signal = 0;
    return true;
}

bool TStationChild::ReadSome(int& fd, std::string& into) {
    if (fd < 0) return false;
    if (StationPipes::Take(fd, into)) return true;
    fd = -1;
    return false;
}
