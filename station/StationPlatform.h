#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// What the batch needs of the platform besides starting and ending the units' processes
// (TStationChild): the interrupts, its arguments and its own path, room for every unit's
// descriptors, the pipes, and the terminal. One implementation per platform
// (posix/StationPlatform.cpp, win32/StationPlatform.cpp).
//
// A pipe end is an int on both sides: a descriptor on POSIX; on Windows the value of its
// handle, which the system keeps within 32 bits so that it passes between processes of
// either width. So one number names the same pipe end in the batch's loop and on a unit's
// command line, and no C runtime descriptor table stands in between.
class TStationPlatform {
public:
    // From now on counts the interrupts, each one not ignored from the start: on POSIX
    // SIGINT, SIGTERM, SIGHUP, SIGQUIT (under nohup a hang-up, in a script's background job
    // Ctrl-C, are not meant for this process); on Windows Ctrl-C, Ctrl-Break and the console
    // closing. A write to a closed pipe fails instead of ending this process.
    static void CatchInterrupts();
    static int Interrupts();

    // The arguments after the program name, as UTF-8 text.
    static std::vector<std::string> Arguments(int argc, char** argv);
    static int ProcessId();
    // The path of this program, to run it again for each unit. Throws std::runtime_error.
    static std::string OwnProgram();

    // A batch starts whole or not at all: room for the descriptors every unit needs is made
    // before the first unit starts, the soft limit raised towards the hard one if need be.
    // Throws std::runtime_error, with the numbers, when even the hard limit is too low.
    // (Windows has no such limit.)
    static void EnsureDescriptors(std::size_t units, std::size_t perUnit, std::size_t toStart);

    // Waits at most ms for any of the pipes (the read ends of TStationChild) to have
    // something to read or to reach its end; ready[i] tells which.
    static void WaitReadable(const std::vector<int>& fds, int ms, std::vector<bool>& ready);
    // Writes bytes whole to a pipe; false when its reader has gone (the batch ended), which
    // never ends this process.
    static bool WritePipe(int fd, const std::string& bytes);

    // Whether out is a terminal that moves the cursor (POSIX: TERM set and not "dumb";
    // Windows: a console that takes escape sequences).
    static bool TableFits(std::FILE* out);
    // The terminal's size, 0 for what it does not tell.
    static void TerminalSize(std::FILE* out, std::size_t& columns, std::size_t& rows);
};
