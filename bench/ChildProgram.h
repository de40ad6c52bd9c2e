#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program run as a child process with its standard output and error in files, waited
// for with wait4 so that its resource use (CPU time, peak resident memory) is known.
class TChildProgram {
public:
    struct TOutcome {
        bool Ended = false;   // false: still running when the wait gave up (then killed)
        int ExitStatus = -1;  // -1 when it ended by a signal
        int Signal = 0;
        double WallSeconds = 0;
        double UserSeconds = 0;
        double SystemSeconds = 0;
        long PeakRssKb = 0;
    };

    // Starts path with args in workDir (empty: the current directory); extraEnv entries are
    // NAME=VALUE added to the environment. Throws std::runtime_error when it cannot start.
    TChildProgram(const std::string& path, const std::vector<std::string>& args, const std::string& workDir,
                  const std::string& stdoutFile, const std::string& stderrFile,
                  const std::vector<std::string>& extraEnv = {});
    // Kills a child that is still running.
    ~TChildProgram();
    TChildProgram(const TChildProgram&) = delete;
    TChildProgram& operator=(const TChildProgram&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running() const { return pid_ > 0 && !reaped_; }
    void Signal(int sig) const;

    // Waits up to timeoutMs for the end; a child still running then is killed and reaped,
    // and the outcome says it did not end.
    TOutcome Wait(int timeoutMs);

    // The directory of the running executable: the programs of this project lie beside it.
    static std::string ProgramDirectory();

private:
    bool Reap(int options, TOutcome& outcome);

    pid_t pid_ = -1;
    bool reaped_ = false;
    std::chrono::steady_clock::time_point started_;
};
