#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ChildProgram.h"

// The unitsim program serving COM<port> in a ports directory, with its flash dump, its
// statistics and (when asked) its trace in files of a work directory.
class TUnitSimProcess {
public:
    // Starts unitsim and waits until it has linked its port. Throws std::runtime_error
    // when it does not get ready.
    TUnitSimProcess(const std::string& workDir, const std::string& portsDir, unsigned port,
                    const std::vector<std::string>& extraArgs, bool trace = false);
    // Stops it when still running.
    ~TUnitSimProcess();

    // Ends it with SIGTERM (it then writes its flash dump and statistics); true when it
    // ended cleanly. Also waits for a unit that ended on its own (a hang-up fault).
    bool Stop();
    bool Running() const { return program_->Running(); }

    std::string FlashDumpPath() const { return base_ + "flash.bin"; }
    std::string StatsPath() const { return base_ + "stats.txt"; }
    std::string TracePath() const { return base_ + "stderr.txt"; }
    const std::string& SlavePath() const { return slavePath_; }

    // The statistics file as name -> value; empty before Stop() or when unreadable.
    std::map<std::string, long long> Statistics() const;

    // Its flash as dumped at Stop(); empty before or when unreadable.
    std::vector<std::uint8_t> Flash() const { return ReadBinaryFile(FlashDumpPath()); }

    // The unit's own time before each reply it sent, in the order of the requests it took,
    // from its trace: a request line ("<-") followed by its reply line ("->  (after T ms").
    // A request it took without replying has no reply line and counts 0.
    std::vector<double> ReplyDelaysMs() const;

    // A whole file's bytes; empty when it cannot be read.
    static std::vector<std::uint8_t> ReadBinaryFile(const std::string& path);

private:
    std::string base_;
    std::string slavePath_;
    std::unique_ptr<TChildProgram> program_;
};
