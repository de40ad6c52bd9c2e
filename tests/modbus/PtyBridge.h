#pragma once

#include <string>
#include <thread>

#include "platform/posix/PseudoTerminal.h"

// A cable between two device paths: two pseudo-terminals whose masters a relay thread
// joins, so that what one side writes to its device the other side reads from its own.
// Both slaves are held open, so a side that closes and reopens its device causes no
// hang-up on the relay.
class TPtyBridge {
public:
    // Throws std::system_error when a pseudo-terminal or the stop event cannot be made.
    TPtyBridge();
    ~TPtyBridge();
    TPtyBridge(const TPtyBridge&) = delete;
    TPtyBridge& operator=(const TPtyBridge&) = delete;

    const std::string& NearPath() const { return near_.SlavePath(); }
    const std::string& FarPath() const { return far_.SlavePath(); }

private:
    void Relay();

    TPseudoTerminal near_;
    TPseudoTerminal far_;
    int stopFd_ = -1;
    std::thread relay_;
};
