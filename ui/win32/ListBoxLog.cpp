#include "ui/win32/ListBoxLog.h"

#include "platform/win32/WideText.h"

TListBoxLog::~TListBoxLog() {
    loop_.StopTimer(refresh_);
}

void TListBoxLog::Refresh() {
    if (refresh_ == 0) return;
    loop_.StopTimer(refresh_);
    refresh_ = 0;
    ::SendMessageW(listBox_, WM_SETREDRAW, TRUE, 0);
    // Drawn now, before the list moves its selection again: the list draws its focus mark
    // at once, over what it shows.
    ::RedrawWindow(listBox_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
}

void TListBoxLog::Clear() {
    Refresh();
    ::SendMessageW(listBox_, LB_RESETCONTENT, 0, 0);
}

void TListBoxLog::AddLogLine(const std::string& text) {
    Refresh();
    const LRESULT index =
        ::SendMessageW(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
    if (index < 0) return;
    // As far as the list can scroll: near the end the new line shows lower down.
    ::SendMessageW(listBox_, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    ::SendMessageW(listBox_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TListBoxLog::ReplaceLogLine(const std::string& text) {
    const LRESULT count = ::SendMessageW(listBox_, LB_GETCOUNT, 0, 0);
    if (count <= 0) return;
    const WPARAM last = static_cast<WPARAM>(count - 1);
    const std::wstring wide = WideFromUtf8(text);
    // The same text again (a percentage that has not moved) changes nothing to be seen.
    const LRESULT length = ::SendMessageW(listBox_, LB_GETTEXTLEN, last, 0);
    if (length == static_cast<LRESULT>(wide.size())) {
        std::wstring shown(static_cast<std::size_t>(length) + 1, L'\0');
        ::SendMessageW(listBox_, LB_GETTEXT, last, reinterpret_cast<LPARAM>(shown.data()));
        shown.resize(static_cast<std::size_t>(length));
        if (shown == wide) return;
    }
    if (refresh_ == 0) {
        ::SendMessageW(listBox_, WM_SETREDRAW, FALSE, 0);
        refresh_ = loop_.PostDelayed(kRefreshMs, [this] { Refresh(); });
    }
    // A list box item's text is replaced by deleting and inserting it; the scroll position,
    // the selection and the focus mark stay as they were.
    const LRESULT top = ::SendMessageW(listBox_, LB_GETTOPINDEX, 0, 0);
    const LRESULT selected = ::SendMessageW(listBox_, LB_GETCURSEL, 0, 0);
    const LRESULT caret = ::SendMessageW(listBox_, LB_GETCARETINDEX, 0, 0);
    ::SendMessageW(listBox_, LB_DELETESTRING, last, 0);
    ::SendMessageW(listBox_, LB_INSERTSTRING, last, reinterpret_cast<LPARAM>(wide.c_str()));
    if (selected == static_cast<LRESULT>(last)) ::SendMessageW(listBox_, LB_SETCURSEL, last, 0);
    if (caret >= 0) ::SendMessageW(listBox_, LB_SETCARETINDEX, static_cast<WPARAM>(caret), FALSE);
    ::SendMessageW(listBox_, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
}

void TListBoxLog::AppendLine(const std::string& text) {
    Refresh();
    ::SendMessageW(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}
