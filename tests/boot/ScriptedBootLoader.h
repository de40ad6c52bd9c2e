#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/MemoryPortFactory.h"

// A boot loader on an in-memory port, for tests. It checks every frame the link writes on
// its own terms (framing, stuffing, checksum), records the commands in order and answers
// each valid one with a framed reply: two header bytes, the reply data, the checksum.
// Invalid frames are recorded and get no answer, as a unit would stay silent.
class TScriptedBootLoader {
public:
    using Bytes = std::vector<std::uint8_t>;
    struct TCommand {
        std::uint8_t Command = 0;
        std::uint8_t Count = 0;
        Bytes Data;
    };
    enum class TFault { None, Silent, BadChecksum };

    TScriptedBootLoader(TMemoryPortFactory& ports, std::string portName);

    // Reply data for a command code (default: none).
    void SetReplyData(std::uint8_t command, Bytes data) { replyData_[command] = std::move(data); }
    // The command with this 0-based index (counting valid commands) gets this fault.
    void FailAt(std::size_t index, TFault fault) { faults_[index] = fault; }

    const std::vector<TCommand>& Commands() const { return commands_; }
    const std::vector<Bytes>& InvalidFrames() const { return invalid_; }

    // The reply frame for a payload (headers, data, checksum), stuffed and framed.
    static Bytes Frame(const Bytes& payload);

private:
    void OnFrame(const Bytes& frame);

    TMemoryPortFactory& ports_;
    std::string portName_;
    std::map<std::uint8_t, Bytes> replyData_;
    std::map<std::size_t, TFault> faults_;
    std::vector<TCommand> commands_;
    std::vector<Bytes> invalid_;
};
