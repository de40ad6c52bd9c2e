#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// What the batch needs of the platform besides starting and ending the units' processes
// (TStationChild): the interrupts, this program's own path, room for every unit's
// descriptors, waiting on the units' pipes, and the terminal. One implementation per
// platform (posix/StationPlatform.cpp).
class TStationPlatform {
public:
    // From now on counts the interrupts (SIGINT, SIGTERM, SIGHUP, SIGQUIT), each one not
    // ignored from the start: under nohup a hang-up, in a script's background job Ctrl-C,
    // are not meant for this process. A write to a closed pipe fails instead of ending it.
    static void CatchInterrupts();
    static int Interrupts();

    static int ProcessId();
    // The path of this program, to run it again for each unit. Throws std::runtime_error.
    static std::string OwnProgram();

    // A batch starts whole or not at all: room for the descriptors every unit needs is made
    // before the first unit starts, the soft limit raised towards the hard one if need be.
    // Throws std::runtime_error, with the numbers, when even the hard limit is too low.
    static void EnsureDescriptors(std::size_t units, std::size_t perUnit, std::size_t toStart);

    // Waits at most ms for any of the descriptors to have something to read or to reach its
    // end; ready[i] tells which.
    static void WaitReadable(const std::vector<int>& fds, int ms, std::vector<bool>& ready);

    // Whether out is a terminal that moves the cursor (TERM set and not "dumb").
    static bool TableFits(std::FILE* out);
    // The terminal's size, 0 for what it does not tell.
    static void TerminalSize(std::FILE* out, std::size_t& columns, std::size_t& rows);
};
