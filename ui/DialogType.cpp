#include "ui/DialogType.h"

std::string DialogTypeCaption(TMsgDlgType type) {
    switch (type) {
        case TMsgDlgType::Warning:
            return "Warning";
        case TMsgDlgType::Error:
            return "Error";
        case TMsgDlgType::Information:
            return "Information";
        case TMsgDlgType::Confirmation:
            return "Confirm";
        case TMsgDlgType::Custom:
            break;
    }
    return "";
}
