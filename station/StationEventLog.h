#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/OperatorLog.h"

// The operator log of one unit's upgrade inside a batch: every change goes to the log it
// wraps (the runner's console log) and, as an event, to the batch's pipe. Besides the lines,
// for the table, it reports the step by its caption and the erase and write percentage;
// and, from the sequencer and device preparation rather than from text, the outcome of each
// step, the identity the running unit reported and the boot loader's identity. A pipe that has gone away (the
// batch ended) is ignored: the upgrade goes on to its end, as it would without a batch.
class TStationEventLog : public OperatorLog {
public:
    // model and version the running unit reported, or nothing when it did not answer.
    using TIdentitySource = std::function<std::optional<std::pair<std::uint16_t, std::uint16_t>>()>;

    TStationEventLog(OperatorLog& inner, int fd);

    // The unit's own record, which sees every event sent (may be null).
    void SetRecord(class TStationRecord* record) { record_ = record; }

    // Where the identity comes from once the upgrade runs.
    void SetIdentitySource(TIdentitySource source) { identity_ = std::move(source); }

    void Clear() override;
    void AddLogLine(const std::string& text) override;
    void ReplaceLogLine(const std::string& text) override;
    void AppendLine(const std::string& text) override;

    // What the sequencer tells its view besides the log lines.
    void StepEnded(int step, bool succeeded);
    void BootLoaderIdentified(std::uint32_t info);

    // Sends what is still owed (the identity when the upgrade ended in its first step).
    void Finish();

private:
    void Send(char kind, const std::string& text);
    void SendIdentity();

    OperatorLog& inner_;
    int fd_;
    TIdentitySource identity_;
    class TStationRecord* record_ = nullptr;
    int linesSinceClear_ = 0;
    bool started_ = false;
    bool identitySent_ = false;
    std::string last_;
    int percent_ = -1;
};
