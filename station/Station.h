#pragma once

#include <string>
#include <vector>

#include "cli/RunnerContract.h"

// The runner as a station: every unit of a list upgraded at once, each by this program run
// again for that one unit, as a process of its own. The parent parses the list, starts the
// processes, gathers their events and ends over pipes, shows the table or the lines, writes
// the report and exits with the batch's status. A unit whose process hangs, crashes or
// talks garbage ends alone: the parent never blocks on one unit.
class TStation {
public:
    // Exit statuses of a batch, in the single runner's numbers.
    static constexpr int kExitAllCompleted = kExitCompleted;
    static constexpr int kExitSomeFailed = kExitFailed;
    static constexpr int kExitBatchUsage = kExitUsage;
    static constexpr int kExitSomeNotRestored = kExitSettingsNotRestored;
    // The batch was interrupted (SIGINT, SIGTERM, SIGHUP or SIGQUIT): the units still
    // running were ended, and each has its line in the report all the same.
    static constexpr int kExitInterrupted = 4;

    // A unit's process that shows no sign of life (no event, no message) for this long is
    // killed: an upgrade's longest silent stretch (a settings write-back that times out,
    // then the commit and its waits) is well under a minute.
    static constexpr int kSilenceLimitSeconds = 120;
    // After an interrupt the units' processes get SIGTERM, and each writes its line and
    // ends. What is still there this long after (a stopped process, say), or at once on a
    // second interrupt, is killed, and the batch writes its line.
    static constexpr int kInterruptGraceSeconds = 3;

    // Whether the command line asks for a batch (see TStationOptions::Applies).
    static bool Applies(int argc, char** argv);
    // Runs the batch; returns the exit status.
    static int Run(int argc, char** argv);
};
