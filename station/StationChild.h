#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One unit's upgrade as a process of its own: this program run again for that one unit,
// its events on a pipe, the report (when there is one) on an open file of the batch's, its
// standard error on another pipe, and nothing else of the batch's. Whatever the process does
// (hangs, crashes, floods its pipes), the batch only reads its pipes when they are ready and
// learns its end from the system.
//
// POSIX: the events at descriptor 3, the report at 4, standard input and output on
// /dev/null, no other descriptor. The process is in a process group of its own, so that what
// a terminal sends to its foreground group (a hang-up when it closes, Ctrl-C) reaches the
// batch only, which then ends its units in order. It gets SIGTERM when the batch's process
// dies, however it dies, and starts with the ending signals blocked (see TStationRecord):
// one sent before it is ready stays pending rather than lost. A unit's process stopped when
// the batch dies is woken too: its process group is then orphaned, and the kernel sends it
// SIGHUP and SIGCONT.
//
// Windows: started with CreateProcess, inheriting exactly its own handles (a handle list):
// the two pipes' write ends, the report, and as standard input the read end of a third pipe,
// the unit's life line, whose write end only the batch holds. The batch asks the unit to end
// by writing to the life line and closing it; the batch's death, however it dies, closes it
// too, and the unit's record then writes its line and ends the process. The process has a
// console of its own, without a window (Ctrl-C and a closed console reach the batch alone),
// and runs in the batch's job object. The job does not kill its processes when the batch's
// handle to it closes: a unit must outlive a killed batch by the moment it takes to write
// its line. Kill ends one process (TerminateProcess).
class TStationChild {
public:
    // The unit's arguments, given the numbers under which it finds its event pipe and the
    // report (-1 when there is none): descriptors on POSIX, handle values on Windows.
    using TArguments = std::function<std::vector<std::string>(int events, int report)>;

    // Descriptors the batch holds per unit until every unit is released (two pipe ends and
    // the gate), and the three more it holds for a moment while making one.
    static constexpr int kDescriptorsPerUnit = 3;
    static constexpr int kDescriptorsToStart = 3;

    // Makes the process for program with the arguments args makes (the unit's options and
    // --station-events with the number it is given); reportFd, when not -1, is passed on.
    // The process is held: it runs nothing of the program, and so touches no unit, until
    // Release(). A batch makes every unit's process first and releases them only when all
    // exist, so that it starts whole or not at all (a process limit reached halfway, say).
    // Destroying a process that was never released ends it without a trace. Throws
    // std::runtime_error, with the reason, when the pipes or the process cannot be made.
    TStationChild(const std::string& program, const TArguments& args, int reportFd = -1);
    // The same with arguments that do not name the pipes.
    TStationChild(const std::string& program, const std::vector<std::string>& args, int reportFd = -1)
        : TStationChild(
              program, [args](int, int) { return args; }, reportFd) {}
    // Lets the held process run the program.
    void Release();
    // Kills and reaps a process still running, closes the pipes.
    ~TStationChild();
    TStationChild(const TStationChild&) = delete;
    TStationChild& operator=(const TStationChild&) = delete;

    int Pid() const { return pid_; }
    // Read ends, read without blocking; -1 once a pipe reached its end and was closed.
    int EventsFd() const { return events_; }
    int ErrorsFd() const { return errors_; }
    // Reads what a pipe holds now into into; false at its end (the pipe is then closed).
    bool ReadEvents(std::string& into) { return ReadSome(events_, into); }
    bool ReadErrors(std::string& into) { return ReadSome(errors_, into); }

    // Asks the process to end (its own record writes its line first).
    void Terminate() const;
    // Ends it now, stopped or not; the batch then writes its line.
    void Kill() const;
    // Reaps the process when it has ended: true then, with its exit status or signal.
    bool TryReap(std::optional<int>& exitStatus, int& signal);

private:
    static bool ReadSome(int& fd, std::string& into);

    struct TNative;  // what one platform keeps of the process besides its id
    std::unique_ptr<TNative> native_;
    int pid_ = -1;
    int events_ = -1;
    int errors_ = -1;
    bool reaped_ = false;
};
