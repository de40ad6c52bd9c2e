#pragma once

#include "app/AboutTexts.h"
#include "platform/VersionInfo.h"
#include "ui/win32/Form.h"

// The about box: the program's description, version and build, copyright, a chip picture
// and, for pre-release builds, a BETA stamp under the texts. The texts are read once, when
// the box is created (from the running executable's own version block); showing it again
// shows the same texts. OK (focused when the box opens, the default button) and the close
// box close it.
class TAboutBox final : public TForm {
public:
    explicit TAboutBox(HWND owner, const TVersionInfo& info = ReadVersionInfo());

    const TAboutTexts& Texts() const { return texts_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code) override;
    void Paint(HDC dc) override;
    HWND InitialFocus() const override;

private:
    TAboutTexts texts_;
};
