#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/AppView.h"
#include "app/ApplicationCore.h"
#include "ui/DeferredClose.h"
#include "ui/win32/Form.h"
#include "ui/win32/ListBoxLog.h"

class TAboutBox;
class TCommSelFrm;

// The main window: the operator log, Start and Close, the menu and the status bar. It
// keeps windows and their wiring; start-up, the settings, the port and the upgrade live in
// the application core, which it drives and which reports back through TAppView.
//
// Every handler runs guarded: an exception that escapes it is shown in the default error
// box and the program goes on.
class TMainForm final : public TForm, public TAppView {
public:
    // Value-initialised by default (all off).
    struct TOptions {
        // Keeps the File, Load File entry that start-up otherwise hides.
        bool EnableLoadFile;
    };

    // Builds the window and runs FormCreate, which shows it.
    TMainForm(TMessageLoop& loop, TApplicationCore::TPortFactoryMaker makePorts,
              TOptions options = TOptions());
    ~TMainForm() override;

    // The about box and the port dialog are created after start-up; until they are given
    // here, About and Comms Port do nothing.
    void AttachDialogs(TAboutBox* aboutBox, TCommSelFrm* commSelFrm);

    // True once the window has closed or Exit has been carried out: the program ends.
    bool Finished() const { return finished_; }

    TApplicationCore& Core() { return *core_; }

    // Handlers.
    void FormCreate();
    void Button6Click();
    void Button1Click();
    void Exit1Click();
    void About1Click();
    void CommsPort1Click();
    void LoadFile1Click();

    // TAppView
    void ShowMainWindow() override;
    void HideLoadFile() override;
    void SetApplicationTitle(const std::string& title) override;
    void SetCaption(const std::string& caption) override;
    void SetStatusText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ErrorBox(const std::string& text) override;
    void SetStartEnabled(bool enabled) override;
    void SetCloseEnabled(bool enabled) override;
    void ShowError(const std::string& message) override;
    void UpgradeEnded(bool completed) override;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code) override;
    // FormClose. While an upgrade step waits inside a request the close is refused for now
    // and carried out once the upgrade has stopped after that step.
    void OnClose() override;

private:
    void BuildMenu();
    int MenuId(const std::string& name) const;
    void FinishDeferredClose();
    // A close asked for during a step is carried out when the step ends; until then the
    // operator sees that it is pending and cannot ask again.
    void ShowClosePending();
    // The window is done: the program's loop ends after the current message.
    void Finish();

    TMessageLoop& loop_;
    TOptions options_;
    HMENU menu_ = nullptr;
    std::map<std::string, int> menuIds_;
    std::unique_ptr<TListBoxLog> log_;
    std::unique_ptr<TApplicationCore> core_;
    TAboutBox* aboutBox_ = nullptr;
    TCommSelFrm* commSelFrm_ = nullptr;
    TDeferredClose closing_;
    bool finished_ = false;
};
