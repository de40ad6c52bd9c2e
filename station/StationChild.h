#pragma once

#include <optional>
#include <string>
#include <vector>

// One unit's upgrade as a process of its own: this program run again for that one unit,
// its events on a pipe at descriptor 3, the report (when there is one) at descriptor 4, its
// standard error on another pipe, standard input and output on /dev/null, and no other
// descriptor. Whatever the process does (hangs, crashes, floods its pipes), the batch only
// reads its pipes when they are ready and learns its end from waitpid.
//
// The process is in a process group of its own, so that what a terminal sends to its
// foreground group (a hang-up when it closes, Ctrl-C) reaches the batch only, which then
// ends its units in order. It gets SIGTERM when the batch's process dies, however it dies,
// and starts with the ending signals blocked (see TStationRecord): one sent before it is
// ready stays pending rather than lost. A unit's process stopped when the batch dies is
// woken too: its process group is then orphaned, and the kernel sends it SIGHUP and SIGCONT.
class TStationChild {
public:
    static constexpr int kEventsDescriptor = 3;
    static constexpr int kReportDescriptor = 4;
    // Descriptors the batch holds per running unit (two pipe ends), and the two more it
    // holds for a moment while starting one.
    static constexpr int kDescriptorsPerUnit = 2;
    static constexpr int kDescriptorsToStart = 2;

    // Starts program with args (the unit's options and --station-events 3); reportFd, when
    // not -1, is passed as descriptor 4. Throws std::runtime_error, with the reason, when
    // the pipes or the process cannot be made.
    TStationChild(const std::string& program, const std::vector<std::string>& args, int reportFd = -1);
    // Kills and reaps a process still running, closes the pipes.
    ~TStationChild();
    TStationChild(const TStationChild&) = delete;
    TStationChild& operator=(const TStationChild&) = delete;

    int Pid() const { return pid_; }
    // Non-blocking read ends; -1 once a pipe reached its end and was closed.
    int EventsFd() const { return events_; }
    int ErrorsFd() const { return errors_; }
    // Reads what a pipe holds now into into; false at its end (the pipe is then closed).
    bool ReadEvents(std::string& into) { return ReadSome(events_, into); }
    bool ReadErrors(std::string& into) { return ReadSome(errors_, into); }

    // Asks the process to end (SIGTERM: its own record writes its line first).
    void Terminate() const;
    // Ends it now, stopped or not (SIGKILL, and SIGCONT); the batch then writes its line.
    void Kill() const;
    // Reaps the process when it has ended: true then, with its exit status or signal.
    bool TryReap(std::optional<int>& exitStatus, int& signal);

private:
    static bool ReadSome(int& fd, std::string& into);

    int pid_ = -1;
    int events_ = -1;
    int errors_ = -1;
    bool reaped_ = false;
};
