#include "upgrade/SettingsRestoreOutcome.h"

std::string TSettingsRestoreOutcome::FailedWrite() const {
    std::string text = "slave " + std::to_string(Slave) + ", ";
    if (Count > 1)
        text += "registers " + std::to_string(Register) + " to " + std::to_string(Register + Count - 1);
    else
        text += "register " + std::to_string(Register);
    return text + " (function " + std::to_string(Function) + ")";
}

std::string TSettingsRestoreOutcome::ResultText() const {
    const char* meaning = "failed";
    switch (Result) {
        case kReplyTimeout:
            meaning = "no reply";
            break;
        case kReplyException:
            meaning = "exception reply";
            break;
        case kReplyInvalid:
            meaning = "invalid reply";
            break;
        case kReplyClosed:
            meaning = "port closed";
            break;
        default:
            break;
    }
    return std::to_string(Result) + " (" + meaning + ")";
}
