#include "ui/win32/InputBox.h"

#include <array>
#include <vector>

#include "platform/win32/WideText.h"

namespace {

const std::array kInputControls{
    TControlLayout{"Prompt", TControlKind::Label, {8, 8, 234, 13}, ""},
    TControlLayout{"Edit", TControlKind::Edit, {8, 26, 234, 21}, "", 0},
    TControlLayout{"OKButton", TControlKind::Button, {86, 60, 75, 25}, "OK", 1, true},
    TControlLayout{"CancelButton", TControlKind::Button, {167, 60, 75, 25}, "Cancel", 2},
};
const TFormLayout kInputForm{"InputBox", "", 250, 93, kInputControls};

class TInputForm final : public TForm {
public:
    TInputForm(HWND owner, const TInputPrompt& prompt)
        : TForm(kInputForm, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, owner) {
        ::SetWindowTextW(Handle(), WideFromUtf8(prompt.Caption).c_str());
        SetText("Prompt", prompt.Prompt);
    }

    std::string Text() const {
        HWND edit = Control("Edit");
        std::vector<wchar_t> text(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1);
        ::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()));
        return Utf8FromWide(text.data());
    }

protected:
    void OnCommand(int id, int code) override {
        if (code != BN_CLICKED) return;
        if (id == ControlId("OKButton")) EndModal(IDOK);
        if (id == ControlId("CancelButton") || id == IDCANCEL) EndModal(IDCANCEL);
    }
    HWND InitialFocus() const override { return Control("Edit"); }
};

}  // namespace

std::string InputBox(TMessageLoop& loop, HWND owner, const TInputPrompt& prompt) {
    TInputForm form(owner, prompt);
    return form.ShowModal(loop, owner) == IDOK ? form.Text() : std::string();
}
