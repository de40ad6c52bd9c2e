#include "ui/win32/ListBoxLog.h"

#include "platform/win32/WideText.h"

void TListBoxLog::Clear() {
    ::SendMessageW(listBox_, LB_RESETCONTENT, 0, 0);
}

void TListBoxLog::AddLogLine(const std::string& text) {
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
    // A list box item's text is replaced by deleting and inserting it; the scroll position
    // and the selection stay as they were, and the list is drawn once, after both.
    const LRESULT top = ::SendMessageW(listBox_, LB_GETTOPINDEX, 0, 0);
    const LRESULT selected = ::SendMessageW(listBox_, LB_GETCURSEL, 0, 0);
    ::SendMessageW(listBox_, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(listBox_, LB_DELETESTRING, last, 0);
    ::SendMessageW(listBox_, LB_INSERTSTRING, last, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
    if (selected == static_cast<LRESULT>(last)) ::SendMessageW(listBox_, LB_SETCURSEL, last, 0);
    ::SendMessageW(listBox_, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    ::SendMessageW(listBox_, WM_SETREDRAW, TRUE, 0);
    RECT item{};
    if (::SendMessageW(listBox_, LB_GETITEMRECT, last, reinterpret_cast<LPARAM>(&item)) != LB_ERR)
        ::InvalidateRect(listBox_, &item, TRUE);
}

void TListBoxLog::AppendLine(const std::string& text) {
    ::SendMessageW(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}
