#pragma once

// How the test support and the benchmarks start a program as a child process.

#include <sys/types.h>
#include <unistd.h>

#include <string>

// Starts path with argv (argv[0] first, null-terminated) in workDir (empty: the current
// directory), with its standard output on outFd and its standard error on errFd, and with
// envp as its environment (null: this process's). Everything the child needs is prepared by
// the caller: after fork only async-signal-safe calls are made. The child exits 126 when it
// cannot enter workDir and 127 when the program cannot be run. Returns the child's pid, or
// -1 when fork fails.
inline pid_t SpawnChild(const std::string& path, char* const argv[], char* const envp[], int outFd, int errFd,
                        const std::string& workDir) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(126);
        if (envp != nullptr)
            ::execve(path.c_str(), argv, envp);
        else
            ::execv(path.c_str(), argv);
        ::_exit(127);
    }
    return pid;
}
