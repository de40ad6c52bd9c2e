#pragma once

#include <string>

#include "platform/LineSettings.h"

// A pseudo-terminal pair standing in for a cable: the updater opens the slave
// path like any serial device; the simulated unit (or a test) reads and writes
// the master.
class TPseudoTerminal {
public:
    // Opens a master (O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), unlocks its slave and puts
    // the slave in raw mode. Throws std::system_error on failure.
    TPseudoTerminal();
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    // Path of the slave device, e.g. /dev/pts/7.
    const std::string& SlavePath() const { return slavePath_; }

    // The line settings last set on the slave (by whoever opened it), read through the master.
    // Rate and stop bits come through; data bits always read 8 and parity None, because the
    // kernel's pty driver forces CS8 and clears PARENB on every change of the settings.
    TLineSettings CurrentLineSettings() const;

    // Opens the slave once, without exclusive access, and keeps it open for the life of this
    // object, so that the master does not see a hang-up each time the other side closes.
    void HoldSlaveOpen();

private:
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};
