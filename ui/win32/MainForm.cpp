#include "ui/win32/MainForm.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "platform/win32/WideText.h"
#include "ui/win32/AboutBox.h"
#include "ui/win32/CommSelFrm.h"
#include "ui/win32/InputBox.h"
#include "ui/win32/MessageBoxes.h"

namespace {

// Below the dialog commands (IDOK, IDCANCEL) and the controls' ids (from 200).
constexpr int kFirstMenuId = 100;
// The status bar's part beside the two panels, where the closing note shows.
constexpr int kNotePart = 2;

}  // namespace

TMainForm::TMainForm(TMessageLoop& loop, TApplicationCore::TPortFactoryMaker makePorts, TOptions options)
    : TForm(MainFormLayout(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, 0,
            nullptr),
      loop_(loop),
      options_(options) {
    BuildMenu();
    FitClientArea();
    HWND status = Control("StatusBar1");
    const int parts[3] = {Scale(kStatusPanelWidths[0]), Scale(kStatusPanelWidths[0] + kStatusPanelWidths[1]),
                          -1};
    ::SendMessageW(status, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    // Every part holds a text from the start, the empty one until something is shown.
    ::SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    ::SendMessageW(status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L""));
    ::SendMessageW(status, SB_SETTEXTW, kNotePart | SBT_NOBORDERS, reinterpret_cast<LPARAM>(L""));

    log_ = std::make_unique<TListBoxLog>(Control("ListBox1"), loop);
    core_ = std::make_unique<TApplicationCore>(loop, *this, *log_, std::move(makePorts));
    FormCreate();
}

TMainForm::~TMainForm() {
    // The link and the upgrade objects go before the windows they report to.
    core_.reset();
}

void TMainForm::BuildMenu() {
    menu_ = ::CreateMenu();
    int id = kFirstMenuId;
    for (const TMenuLayout& entry : MainMenuLayout()) {
        HMENU popup = ::CreatePopupMenu();
        for (const TMenuItemLayout& item : entry.Items) {
            ++id;
            menuIds_[item.Name] = id;
            // Hidden from the start, so that a start-up that fails early does not leave it showing.
            if (item.HiddenByDefault && !options_.EnableLoadFile) continue;
            if (std::string(item.Text) == "-") {
                ::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            ::AppendMenuW(popup, MF_STRING | (item.Enabled ? MF_ENABLED : MF_GRAYED),
                          static_cast<UINT_PTR>(id), WideFromUtf8(item.Text).c_str());
        }
        ::AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), WideFromUtf8(entry.Text).c_str());
    }
    ::SetMenu(window_, menu_);
}

int TMainForm::MenuId(const std::string& name) const {
    const auto found = menuIds_.find(name);
    return found == menuIds_.end() ? 0 : found->second;
}

void TMainForm::AttachDialogs(TAboutBox* aboutBox, TCommSelFrm* commSelFrm) {
    aboutBox_ = aboutBox;
    commSelFrm_ = commSelFrm;
}

void TMainForm::FormCreate() {
    RunGuarded([this] { core_->FormCreate(); });
}

void TMainForm::Button6Click() {
    RunGuarded([this] { core_->StartUpgrade(); });
}

void TMainForm::Button1Click() {
    // As the close box does.
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
}

void TMainForm::Exit1Click() {
    RunGuarded([this] {
        // During an upgrade step the quit waits until the sequencer has stopped after it.
        if (!closing_.Answer(TDeferredClose::TRequest::Exit, core_->FormClose())) {
            ShowClosePending();
            return;
        }
        Finish();
    });
}

void TMainForm::About1Click() {
    RunGuarded([this] {
        if (aboutBox_) aboutBox_->ShowModal(loop_, window_);
    });
}

void TMainForm::CommsPort1Click() {
    RunGuarded([this] {
        if (!commSelFrm_) return;
        commSelFrm_->SetSelection(core_->SelectedPortPosition());
        if (commSelFrm_->ShowModal(loop_, window_) != IDOK) return;
        core_->ChangePort(commSelFrm_->Selection());
    });
}

void TMainForm::LoadFile1Click() {
    RunGuarded([this] {
        std::vector<wchar_t> path(32768, L'\0');
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = window_;
        dialog.lpstrFile = path.data();
        dialog.nMaxFile = static_cast<DWORD>(path.size());
        dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
        if (!::GetOpenFileNameW(&dialog)) return;
        core_->LoadFileImage(Utf8FromWide(path.data()));
        core_->ApplyProcessorText(InputBox(loop_, window_, kProcessorPrompt));
        core_->ApplyModelText(InputBox(loop_, window_, kModelPrompt));
    });
}

void TMainForm::OnCommand(int id, int code) {
    if (id == ControlId("Button6") && code == BN_CLICKED) return Button6Click();
    if (id == ControlId("Button1") && code == BN_CLICKED) return Button1Click();
    if (id == MenuId("Exit1")) return Exit1Click();
    if (id == MenuId("About1")) return About1Click();
    if (id == MenuId("CommsPort1")) return CommsPort1Click();
    if (id == MenuId("LoadFile1")) return LoadFile1Click();
}

void TMainForm::OnClose() {
    if (finished_) return;
    bool closeNow = true;
    RunGuarded([&] { closeNow = core_->FormClose(); });
    if (!closing_.Answer(TDeferredClose::TRequest::Close, closeNow)) {
        // The link and this window must outlive the request that is waiting now.
        ShowClosePending();
        return;
    }
    Finish();
    ::ShowWindow(window_, SW_HIDE);
}

void TMainForm::Finish() {
    finished_ = true;
    // Ended from a window procedure or a menu command: the program's wait must wake for it.
    loop_.Post([] {});
}

void TMainForm::ShowClosePending() {
    ::SendMessageW(Control("StatusBar1"), SB_SETTEXTW, kNotePart | SBT_NOBORDERS,
                   reinterpret_cast<LPARAM>(WideFromUtf8(kClosingNote).c_str()));
    ::EnableMenuItem(menu_, static_cast<UINT>(MenuId("Exit1")), MF_BYCOMMAND | MF_GRAYED);
    ::SetCursor(::LoadCursorA(nullptr, IDC_APPSTARTING));
}

void TMainForm::FinishDeferredClose() {
    closing_.AskAgain([this] { Exit1Click(); }, [this] { OnClose(); });
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETCURSOR && closing_.Pending() && LOWORD(lParam) == HTCLIENT) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_APPSTARTING));
        return TRUE;
    }
    return TForm::HandleMessage(message, wParam, lParam);
}

void TMainForm::ShowMainWindow() {
    CentreOn(nullptr);
    ::ShowWindow(window_, SW_SHOW);
    ::UpdateWindow(window_);
    if (HWND focus = InitialFocus()) ::SetFocus(focus);
}

void TMainForm::HideLoadFile() {
    if (options_.EnableLoadFile) return;
    ::DeleteMenu(menu_, static_cast<UINT>(MenuId("LoadFile1")), MF_BYCOMMAND);
}

void TMainForm::SetApplicationTitle(const std::string& title) {
    ::SetApplicationTitle(title);
}

void TMainForm::SetCaption(const std::string& caption) {
    ::SetWindowTextW(window_, WideFromUtf8(caption).c_str());
}

void TMainForm::SetStatusText(const std::string& text) {
    ::SendMessageW(Control("StatusBar1"), SB_SETTEXTW, 0,
                   reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}

void TMainForm::ShowMessage(const std::string& text) {
    log_->Refresh();
    ::ShowMessage(text);
}

void TMainForm::ErrorBox(const std::string& text) {
    log_->Refresh();
    ::ErrorBox(text, TMsgDlgType::Error, MB_OK, 0);
}

void TMainForm::SetStartEnabled(bool enabled) {
    HWND start = Control("Button6");
    // A disabled control cannot keep the focus: it goes to the log, so the keyboard still works.
    if (!enabled && ::GetFocus() == start) ::SetFocus(Control("ListBox1"));
    ::EnableWindow(start, enabled);
}

void TMainForm::SetCloseEnabled(bool enabled) {
    HWND close = Control("Button1");
    if (!enabled && ::GetFocus() == close) ::SetFocus(Control("ListBox1"));
    ::EnableWindow(close, enabled);
}

void TMainForm::ShowError(const std::string& message) {
    log_->Refresh();
    ShowDefaultErrorBox(message);
}

void TMainForm::UpgradeEnded(bool completed) {
    (void)completed;
    // The last line as it ended, at once.
    log_->Refresh();
    // Called from inside the sequencer's last step: the deferred close runs once that
    // step has returned, never under it.
    if (closing_.Pending()) loop_.Post([this] { FinishDeferredClose(); });
}
