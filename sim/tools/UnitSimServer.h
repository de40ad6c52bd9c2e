#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/posix/PseudoTerminal.h"
#include "sim/SimUnit.h"
#include "sim/UnitSimOptions.h"

// Serves one simulated unit on a pseudo-terminal: links the slave into the ports
// directory, feeds what the master receives to the unit together with the line settings
// the other side has set on the slave, and writes the unit's replies when they are due.
//
// The server holds the slave open itself, so that the updater closing and reopening the
// port never makes the master see a hang-up. A hang-up fault closes the pseudo-terminal
// (the other side then sees the line drop) and ends the server.
class TUnitSimServer {
public:
    // Creates the pseudo-terminal and the link. Throws std::runtime_error (or
    // std::system_error) with a message that names what failed.
    explicit TUnitSimServer(const TUnitSimOptions& options);
    // Removes the link, when it is still the one this server made.
    ~TUnitSimServer();
    TUnitSimServer(const TUnitSimServer&) = delete;
    TUnitSimServer& operator=(const TUnitSimServer&) = delete;

    const std::string& LinkName() const { return linkName_; }
    const std::string& SlavePath() const { return pty_->SlavePath(); }

    // Serves until a signal arrives on signalFd (a signalfd) or a hang-up fault strikes.
    // Returns the exit status.
    int Run(int signalFd);

private:
    struct TPending {
        std::uint64_t DueUs;
        std::vector<std::uint8_t> Bytes;
        std::size_t Sent = 0;
    };

    std::uint64_t NowUs() const;
    void ReadFromMaster();
    // Writes every due reply the master takes now; false when the master refused bytes.
    bool WriteDue();
    void Finish();
    void DumpFlash() const;
    void WriteStats() const;
    void RemoveLink();

    TUnitSimOptions options_;
    TSimUnit unit_;
    std::unique_ptr<TPseudoTerminal> pty_;
    std::filesystem::path linkPath_;
    std::string linkName_;
    bool linkMade_ = false;
    std::deque<TPending> pending_;
    std::uint32_t restartsDumped_ = 0;
    std::uint64_t startNs_ = 0;
};
