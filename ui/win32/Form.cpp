#include "ui/win32/Form.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "platform/win32/WideText.h"
#include "ui/win32/Pictures.h"

namespace {

const wchar_t kFormClass[] = L"BootloaderForm";
constexpr int kFirstControlId = 200;

int ScreenDpi() {
    static const int dpi = [] {
        HDC screen = ::GetDC(nullptr);
        const int value = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFamily(const wchar_t* family) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    ::wcsncpy(wanted.lfFaceName, family, LF_FACESIZE - 1);
    bool found = false;
    HDC screen = ::GetDC(nullptr);
    ::EnumFontFamiliesExW(screen, &wanted, &NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, screen);
    return found;
}

const wchar_t* ClassOf(TControlKind kind) {
    switch (kind) {
        case TControlKind::ListBox:
            return L"LISTBOX";
        case TControlKind::Button:
        case TControlKind::GroupBox:
            return L"BUTTON";
        case TControlKind::StatusBar:
            return STATUSCLASSNAMEW;
        case TControlKind::Label:
            return L"STATIC";
        case TControlKind::ComboBox:
            return L"COMBOBOX";
        case TControlKind::Edit:
            return L"EDIT";
        case TControlKind::Bevel:
        case TControlKind::Picture:
            break;
    }
    return nullptr;
}

}  // namespace

int TForm::Scale(int pixels) {
    return ::MulDiv(pixels, ScreenDpi(), 96);
}

HFONT TForm::FormFont() {
    static const HFONT font = [] {
        LOGFONTW face{};
        if (HasFamily(L"MS Sans Serif")) {
            ::wcscpy(face.lfFaceName, L"MS Sans Serif");
        } else {
            NONCLIENTMETRICSW metrics{};
            metrics.cbSize = sizeof metrics;
            ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
            face = metrics.lfMessageFont;
        }
        face.lfHeight = -::MulDiv(kFormFontPoints, ScreenDpi(), 72);
        face.lfWidth = 0;
        face.lfWeight = FW_NORMAL;
        face.lfCharSet = DEFAULT_CHARSET;
        return ::CreateFontIndirectW(&face);
    }();
    return font;
}

TForm::TForm(const TFormLayout& layout, DWORD style, DWORD exStyle, HWND owner) : layout_(layout) {
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &TForm::WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hIcon = ChipIcon(::GetSystemMetrics(SM_CXICON));
        windowClass.hIconSm = ChipIcon(::GetSystemMetrics(SM_CXSMICON));
        windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kFormClass;
        return ::RegisterClassExW(&windowClass);
    }();
    if (registered == 0) throw std::runtime_error("Cannot register the window class");
    window_ =
        ::CreateWindowExW(exStyle, kFormClass, WideFromUtf8(layout.Caption).c_str(), style, CW_USEDEFAULT,
                          CW_USEDEFAULT, Scale(layout.ClientWidth), Scale(layout.ClientHeight), owner,
                          nullptr, ::GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) throw std::runtime_error(std::string("Cannot create the window ") + layout.Name);
    ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
    CreateControls();
    FitClientArea();
}

TForm::~TForm() {
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

RECT TForm::ScaledRect(std::string_view name) const {
    const TLayoutRect r = layout_.FormRect(name);
    return RECT{Scale(r.Left), Scale(r.Top), Scale(r.Left + r.Width), Scale(r.Top + r.Height)};
}

void TForm::CreateControls() {
    int id = kFirstControlId;
    for (const TControlLayout& control : layout_.Controls) {
        const wchar_t* windowClass = ClassOf(control.Kind);
        ++id;
        if (windowClass == nullptr) continue;
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        const bool tabStop = control.TabPosition >= 0 && control.Kind != TControlKind::GroupBox;
        if (tabStop) style |= WS_TABSTOP;
        RECT place = ScaledRect(control.Name);
        switch (control.Kind) {
            case TControlKind::ListBox:
                style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
                exStyle |= WS_EX_CLIENTEDGE;
                break;
            case TControlKind::Button:
                style |= control.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
                break;
            case TControlKind::GroupBox:
                style |= BS_GROUPBOX;
                break;
            case TControlKind::StatusBar:
                // Placed by the form, not by the status bar itself: no size grip.
                style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
                break;
            case TControlKind::Label:
                style |= (control.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP) | SS_NOPREFIX;
                break;
            case TControlKind::ComboBox:
                // The window's height is that of the dropped-down list.
                style |= CBS_DROPDOWNLIST | WS_VSCROLL;
                place.bottom = place.top + Scale(control.Rect.Height + 8 * kListItemHeight + 2);
                break;
            case TControlKind::Edit:
                style |= ES_AUTOHSCROLL;
                exStyle |= WS_EX_CLIENTEDGE;
                break;
            case TControlKind::Bevel:
            case TControlKind::Picture:
                break;
        }
        HWND child = ::CreateWindowExW(
            exStyle, windowClass, WideFromUtf8(control.Text).c_str(), style, place.left, place.top,
            place.right - place.left, place.bottom - place.top, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
        if (child == nullptr)
            throw std::runtime_error(std::string("Cannot create the control ") + control.Name);
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
        if (control.Kind == TControlKind::ListBox)
            ::SendMessageW(child, LB_SETITEMHEIGHT, 0, Scale(kListItemHeight));
        if (control.Kind == TControlKind::ComboBox) {
            ::SendMessageW(child, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scale(control.Rect.Height - 6));
            ::SendMessageW(child, CB_SETITEMHEIGHT, 0, Scale(kListItemHeight));
        }
        controls_.emplace(control.Name, child);
        ids_.emplace(control.Name, id);
        if (control.Kind == TControlKind::Label) FitLabel(control);
    }
}

void TForm::FitLabel(const TControlLayout& label) {
    HWND window = Control(label.Name);
    std::vector<wchar_t> text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1);
    ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    const RECT design = ScaledRect(label.Name);
    RECT needed{0, 0, design.right - design.left, 0};
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, FormFont());
    ::DrawTextW(dc, text.data(), -1, &needed,
                DT_CALCRECT | DT_NOPREFIX | (label.WordWrap ? DT_WORDBREAK : DT_SINGLELINE));
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    const int width = label.WordWrap ? design.right - design.left : needed.right;
    const int height = std::max<int>(design.bottom - design.top, needed.bottom);
    ::SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetText(std::string_view name, const std::string& text) {
    ::SetWindowTextW(Control(name), WideFromUtf8(text).c_str());
    const TControlLayout& control = layout_.Control(name);
    if (control.Kind == TControlKind::Label) FitLabel(control);
}

HWND TForm::Control(std::string_view name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

int TForm::ControlId(std::string_view name) const {
    const auto found = ids_.find(name);
    return found == ids_.end() ? 0 : found->second;
}

void TForm::FitClientArea() {
    RECT window{}, client{};
    ::GetWindowRect(window_, &window);
    ::GetClientRect(window_, &client);
    const int width = (window.right - window.left) - client.right + Scale(layout_.ClientWidth);
    const int height = (window.bottom - window.top) - client.bottom + Scale(layout_.ClientHeight);
    ::SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::CentreOn(HWND other) {
    RECT area{};
    if (other != nullptr)
        ::GetWindowRect(other, &area);
    else
        area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT own{};
    ::GetWindowRect(window_, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int left = area.left + (area.right - area.left - width) / 2;
    int top = area.top + (area.bottom - area.top - height) / 2;
    if (top < 0) top = 0;
    if (left < 0) left = 0;
    ::SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND TForm::InitialFocus() const {
    return ::GetNextDlgTabItem(window_, nullptr, FALSE);
}

int TForm::ShowModal(TMessageLoop& loop, HWND owner) {
    modal_ = true;
    done_ = false;
    result_ = IDCANCEL;
    CentreOn(owner);
    if (owner != nullptr) ::EnableWindow(owner, FALSE);
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    if (HWND focus = InitialFocus()) ::SetFocus(focus);
    while (!done_ && ::IsWindow(window_)) loop.WaitAndDispatch();
    // The owner first, so that activation returns to it rather than to another program.
    if (owner != nullptr) ::EnableWindow(owner, TRUE);
    ::ShowWindow(window_, SW_HIDE);
    if (owner != nullptr) ::SetActiveWindow(owner);
    modal_ = false;
    return result_;
}

void TForm::EndModal(int result) {
    result_ = result;
    done_ = true;
}

void TForm::OnClose() {
    if (modal_) EndModal(IDCANCEL);
}

void TForm::DrawBevel(HDC dc, const TControlLayout& bevel) const {
    RECT r = ScaledRect(bevel.Name);
    switch (bevel.Shape) {
        case TBevelShape::Box:
            ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
            break;
        case TBevelShape::TopLine:
            ::DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
            break;
        case TBevelShape::BottomLine:
            ::DrawEdge(dc, &r, EDGE_ETCHED, BF_BOTTOM);
            break;
        case TBevelShape::None:
            break;
    }
}

void TForm::Paint(HDC dc) {
    for (const TControlLayout& control : layout_.Controls)
        if (control.Kind == TControlKind::Bevel) DrawBevel(dc, control);
}

LRESULT TForm::DefaultButton() const {
    // A focused push button is the one Enter presses; otherwise the form's default button.
    HWND focus = ::GetFocus();
    for (const TControlLayout& control : layout_.Controls) {
        if (control.Kind != TControlKind::Button) continue;
        if (Control(control.Name) == focus) return MAKELRESULT(ControlId(control.Name), DC_HASDEFID);
    }
    for (const TControlLayout& control : layout_.Controls)
        if (control.Kind == TControlKind::Button && control.Default)
            return MAKELRESULT(ControlId(control.Name), DC_HASDEFID);
    return 0;
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = ::BeginPaint(window_, &paint);
            Paint(dc);
            ::EndPaint(window_, &paint);
            return 0;
        }
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case DM_GETDEFID:
            return DefaultButton();
        case WM_ACTIVATE:
            // The focused control is kept while another window is active.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(window_, focus)) lastFocus_ = focus;
            } else if (lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsWindowEnabled(lastFocus_)) {
                ::SetFocus(lastFocus_);
                return 0;
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* form = static_cast<TForm*>(create->lpCreateParams);
        form->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return form->HandleMessage(message, wParam, lParam);
}

bool TForm::FilterMessage(MSG& message) {
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || message.hwnd == nullptr)
        return false;
    HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
    wchar_t name[32] = {};
    if (root == nullptr || ::GetClassNameW(root, name, 32) == 0 || ::wcscmp(name, kFormClass) != 0)
        return false;
    return ::IsDialogMessageW(root, &message) != FALSE;
}
