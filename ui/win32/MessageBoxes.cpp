#include "ui/win32/MessageBoxes.h"

#include <exception>

#include "platform/win32/WideText.h"
#include "ui/DefaultErrorText.h"
#include "ui/GuardedHandler.h"

namespace {

std::string& Title() {
    static std::string title;
    return title;
}

int Show(const std::string& text, const std::string& caption, UINT style) {
    return ::MessageBoxW(nullptr, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(),
                         style | MB_TASKMODAL | MB_SETFOREGROUND);
}

}  // namespace

void SetApplicationTitle(const std::string& title) {
    Title() = title;
}

const std::string& ApplicationTitle() {
    return Title();
}

void ShowDefaultErrorBox(const std::string& message) {
    Show(DefaultErrorText(message), ApplicationTitle(), MB_OK | MB_ICONHAND);
}

void ShowMessage(const std::string& text) {
    Show(text, ApplicationTitle(), MB_OK);
}

int ErrorBox(const std::string& message, TMsgDlgType type, UINT buttons, int helpContext) {
    (void)helpContext;
    UINT sound = MB_OK;
    UINT icon = 0;
    switch (type) {
        case TMsgDlgType::Warning:
            sound = icon = MB_ICONEXCLAMATION;
            break;
        case TMsgDlgType::Error:
            sound = icon = MB_ICONHAND;
            break;
        case TMsgDlgType::Information:
            // The plain default beep, not the asterisk sound.
            sound = MB_OK;
            icon = MB_ICONINFORMATION;
            break;
        case TMsgDlgType::Confirmation:
            sound = icon = MB_ICONQUESTION;
            break;
        case TMsgDlgType::Custom:
            sound = MB_ICONASTERISK;
            break;
    }
    const std::string caption = DialogTypeCaption(type);
    ::MessageBeep(sound);
    return Show(message, caption.empty() ? ApplicationTitle() : caption, buttons | icon);
}

void RunGuarded(const std::function<void()>& handler) {
    RunGuardedReporting(handler, ShowDefaultErrorBox);
}
