#include "platform/PortOpenFailure.h"

std::string TPortOpenFailure::Describe(const std::string& port) const {
    std::string text = port;
    // The device only when it says more than the port's name ("\\.\COM12" for COM12 does not).
    if (!Device.empty() && Device != port && Device != "\\\\.\\" + port) text += " (" + Device + ")";
    switch (Reason) {
        case TReason::None:
            return text + " is open";
        case TReason::Missing:
            text += " does not exist";
            break;
        case TReason::Busy:
            text += " is in use by another program";
            if (!Holder.empty()) text += ": " + Holder + " holds it";
            break;
        case TReason::Refused:
            text += " cannot be opened";
            if (!SystemText.empty()) return text + ": " + SystemText;
            break;
        case TReason::NotASerialPort:
            text += " is not a serial port";
            break;
    }
    if (!SystemText.empty()) text += " (" + SystemText + ")";
    return text;
}
