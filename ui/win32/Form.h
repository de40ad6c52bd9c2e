#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>

#include "platform/MessageLoop.h"
#include "ui/FormLayout.h"

// A top-level window of the program built from its description (ui/FormLayout.h): the
// caption, the client area and the controls at their places, scaled from 96 dpi to the
// screen's, in the form font. Bevels and pictures have no window of their own; the form
// draws them. Keyboard navigation (Tab, Enter for the default button, access letters) is
// the system's dialog navigation, given to every message a wait dispatches through
// FilterMessage. The Escape key does nothing unless a form gives it a meaning.
class TForm {
public:
    TForm(const TFormLayout& layout, DWORD style, DWORD exStyle, HWND owner);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return window_; }
    // The control's window; null for a bevel or a picture.
    HWND Control(std::string_view name) const;
    int ControlId(std::string_view name) const;
    const TFormLayout& Layout() const { return layout_; }

    // Sets a control's text; a label is sized to it again (a word-wrapping label grows
    // downwards when the text needs more lines than its design height holds).
    void SetText(std::string_view name, const std::string& text);

    // Pixels at 96 dpi to pixels on this screen.
    static int Scale(int pixels);
    RECT ScaledRect(std::string_view name) const;

    // Shown modally over owner (disabled meanwhile), centred on it; every message of the
    // thread keeps being dispatched while the form is up. Returns what EndModal was given
    // (IDCANCEL for the close box).
    int ShowModal(TMessageLoop& loop, HWND owner);
    void EndModal(int result);

    // The filter of the program's message loop: keyboard messages for a form go through
    // the system's dialog navigation.
    static bool FilterMessage(MSG& message);

    // "MS Sans Serif" 8 pt where the system has it, else its message font at 8 pt.
    static HFONT FormFont();

protected:
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnCommand(int id, int code) {
        (void)id;
        (void)code;
    }
    // Draws what has no window of its own (bevels here; pictures in the forms that have them).
    virtual void Paint(HDC dc);
    // The close box; a modal form ends with IDCANCEL.
    virtual void OnClose();
    virtual HWND InitialFocus() const;

    // Resizes the window so that its client area (below a menu bar) is the described size.
    void FitClientArea();
    void CentreOn(HWND other);
    void DrawBevel(HDC dc, const TControlLayout& bevel) const;

    const TFormLayout& layout_;
    HWND window_ = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void FitLabel(const TControlLayout& label);
    LRESULT DefaultButton() const;

    std::map<std::string, HWND, std::less<>> controls_;
    std::map<std::string, int, std::less<>> ids_;
    HWND lastFocus_ = nullptr;
    bool modal_ = false;
    bool done_ = false;
    int result_ = IDCANCEL;
};
