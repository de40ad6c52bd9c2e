#include "ui/win32/AboutBox.h"

#include "ui/win32/Pictures.h"

TAboutBox::TAboutBox(HWND owner, const TVersionInfo& info)
    // Not clipping its children: the labels are transparent over the stamp the box draws.
    : TForm(AboutBoxLayout(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_DLGMODALFRAME,
            owner),
      texts_(MakeAboutTexts(info)) {
    SetText("Label1", texts_.Description);
    SetText("Label2", texts_.Version);
    SetText("Label3", texts_.Copyright);
}

HWND TAboutBox::InitialFocus() const {
    return Control("OKButton");
}

void TAboutBox::OnCommand(int id, int code) {
    if (code == BN_CLICKED && id == ControlId("OKButton")) EndModal(IDOK);
}

void TAboutBox::Paint(HDC dc) {
    // From the bottom of the drawing order up: the stamp, the bevels, the chip.
    if (texts_.Prerelease) DrawBetaStamp(dc, ScaledRect("Image2"));
    TForm::Paint(dc);
    const RECT chip = ScaledRect("Image1");
    DrawChipPicture(dc, chip.left, chip.top);
}

LRESULT TAboutBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) {
        // Black text, no background of its own.
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, RGB(0, 0, 0));
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    return TForm::HandleMessage(message, wParam, lParam);
}
