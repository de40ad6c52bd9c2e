#pragma once

#include <cstdint>
#include <string>

#include "link/ReplyResult.h"

// How the write-back of carried settings ended in the last upgrade, for callers that must
// tell an operator or a script more than the operator log says (the log stays silent on
// it).
struct TSettingsRestoreOutcome {
    // What RestoreDeviceSettings returned: kReplyNormal restored; kReplyNotApplicable (also
    // when no write-back has run since the upgrade started); otherwise the reply result of
    // the write that still failed after its retries.
    std::int32_t Result = kReplyNotApplicable;
    // The write that failed; meaningful only when Failed().
    std::uint8_t Slave = 0;
    std::uint8_t Function = 0;
    std::uint16_t Register = 0;
    std::uint16_t Count = 0;

    // The unit is left without (some of) the settings it had before the upgrade.
    bool Failed() const { return Result != kReplyNormal && Result != kReplyNotApplicable; }

    // "slave 20, registers 18 to 28 (function 104)", or "slave 17, register 24 (function 103)".
    std::string FailedWrite() const;
    // "0 (no reply)", "2 (exception reply)", ...
    std::string ResultText() const;
};
