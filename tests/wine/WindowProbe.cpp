// winprobe.exe CAPTION: what the desktop tests read of the desktop program's windows under
// Wine, from outside it, the way an accessibility tool would. For every visible top-level
// window with that caption it prints one "window" line and a line per child control, tab
// separated, UTF-8:
//
//   window  <client width> <client height> <enabled> <focused control id>
//   control <class> <id> <left> <top> <width> <height> <enabled> <visible> <text> [<items>]
//   item    <control id> <index> <text>             (list box and combo box lines)
//   selected <control id> <index>
//
// Rectangles are in the window's client coordinates. Exits 1 when no such window exists.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

std::wstring Text(HWND window) {
    wchar_t buffer[1024] = {};
    ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

struct TSearch {
    std::wstring Caption;
    std::vector<HWND> Found;
};

BOOL CALLBACK FindTop(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<TSearch*>(search);
    if (::IsWindowVisible(window) && Text(window) == s->Caption) s->Found.push_back(window);
    return TRUE;
}

HWND top = nullptr;

void Items(HWND control, int id, UINT count, UINT length, UINT get, UINT selected) {
    const LRESULT n = ::SendMessageW(control, count, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        const LRESULT size = ::SendMessageW(control, length, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<std::size_t>(size < 0 ? 0 : size) + 1, L'\0');
        ::SendMessageW(control, get, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(wcslen(text.c_str()));
        std::printf("item\t%d\t%d\t%s\n", id, static_cast<int>(i), Utf8(text).c_str());
    }
    std::printf("selected\t%d\t%d\n", id, static_cast<int>(::SendMessageW(control, selected, 0, 0)));
}

BOOL CALLBACK Child(HWND control, LPARAM) {
    if (::GetParent(control) != top) return TRUE;
    wchar_t className[64] = {};
    ::GetClassNameW(control, className, 64);
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    const int id = ::GetDlgCtrlID(control);
    std::printf("control\t%s\t%d\t%ld\t%ld\t%ld\t%ld\t%d\t%d\t%s\n", Utf8(className).c_str(), id, r.left,
                r.top, r.right - r.left, r.bottom - r.top, ::IsWindowEnabled(control) ? 1 : 0,
                ::IsWindowVisible(control) ? 1 : 0, Utf8(Text(control)).c_str());
    const std::wstring name = className;
    if (_wcsicmp(name.c_str(), L"ListBox") == 0)
        Items(control, id, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_GETCURSEL);
    if (_wcsicmp(name.c_str(), L"ComboBox") == 0)
        Items(control, id, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_GETCURSEL);
    return TRUE;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (args == nullptr || count < 2) return 2;
    TSearch search{args[1], {}};
    ::EnumWindows(&FindTop, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.Found) {
        top = window;
        RECT client{};
        ::GetClientRect(window, &client);
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread);
        const int focus = thread.hwndFocus != nullptr && ::IsChild(window, thread.hwndFocus)
                              ? ::GetDlgCtrlID(thread.hwndFocus)
                              : 0;
        std::printf("window\t%ld\t%ld\t%d\t%d\n", client.right, client.bottom,
                    ::IsWindowEnabled(window) ? 1 : 0, focus);
        ::EnumChildWindows(window, &Child, 0);
    }
    std::fflush(stdout);
    return search.Found.empty() ? 1 : 0;
}
