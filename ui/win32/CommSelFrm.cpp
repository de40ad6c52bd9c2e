#include "ui/win32/CommSelFrm.h"

#include "platform/win32/WideText.h"

TCommSelFrm::TCommSelFrm(HWND owner)
    // Not clipping its children: the group box leaves its inside for the dialog to paint.
    : TForm(CommSelFrmLayout(), WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, owner) {
    HWND list = Control("ComboBox1");
    for (int position = 0; position < kPortCount; ++position)
        ::SendMessageW(list, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(WideFromUtf8(PortItemText(position)).c_str()));
}

void TCommSelFrm::SetSelection(int position) {
    ::SendMessageW(Control("ComboBox1"), CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int TCommSelFrm::Selection() const {
    return static_cast<int>(::SendMessageW(Control("ComboBox1"), CB_GETCURSEL, 0, 0));
}

HWND TCommSelFrm::InitialFocus() const {
    // Every showing starts on the list, so that Enter reaches the default button (Cancel)
    // rather than a button focused last time.
    return Control("ComboBox1");
}

void TCommSelFrm::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    // IDCANCEL, the Escape key's command, is not among these: Escape does nothing.
    if (id == ControlId("Button1")) EndModal(IDOK);
    if (id == ControlId("Button2")) EndModal(IDCANCEL);
}
