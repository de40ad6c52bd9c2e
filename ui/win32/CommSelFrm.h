#pragma once

#include "ui/win32/Form.h"

// The port selection dialog. It only offers the choice: the main window's Comms Port
// command sets the selection, shows it and acts on the answer. Ok gives IDOK; Cancel, the
// Enter key (Cancel is the default button) and the close box give IDCANCEL; Escape does
// nothing.
class TCommSelFrm final : public TForm {
public:
    explicit TCommSelFrm(HWND owner);

    // Item position, 0 for COM1; -1 selects nothing.
    void SetSelection(int position);
    int Selection() const;

protected:
    void OnCommand(int id, int code) override;
    HWND InitialFocus() const override;
};
