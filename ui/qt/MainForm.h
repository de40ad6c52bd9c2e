#pragma once

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <array>
#include <memory>

#include "app/AppView.h"
#include "app/ApplicationCore.h"
#include "ui/DeferredClose.h"
#include "ui/qt/Bevel.h"
#include "ui/qt/ListBoxLog.h"

class TAboutBox;
class TCommSelFrm;

// The main window: the operator log, Start and Close, the menu and the status bar. It keeps
// widgets and their wiring; start-up, the settings, the port and the upgrade live in the
// application core, which it drives and which reports back through TAppView.
//
// Every handler runs guarded: an exception that escapes it is shown in the default error
// box and the program goes on.
class TMainForm final : public QMainWindow, public TAppView {
    Q_OBJECT
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

    TApplicationCore& Core() { return *core_; }

    // Handlers.
    void FormCreate();
    void Button6Click();
    void Button1Click();
    void Exit1Click();
    void About1Click();
    void CommsPort1Click();
    void LoadFile1Click();

    // Status bar panel text (0 or 1).
    QString StatusPanelText(int panel) const;

    TBevel* Bevel1;
    QListWidget* ListBox1;
    QPushButton* Button6;
    QPushButton* Button1;
    QStatusBar* StatusBar1;
    std::array<QLabel*, 2> StatusPanels;
    QFileDialog* OpenDialog1;
    QMenuBar* MainMenu1;
    QMenu* File1;
    QAction* LoadFile1;
    QAction* CloseConnection1;
    QAction* N1;
    QAction* Exit1;
    QMenu* Options1;
    QAction* CommsPort1;
    QMenu* Help1;
    QAction* About1;
    // Not a design control: shown at the right end of the status bar, beside its two panels,
    // from the moment a close is asked for during an upgrade step until the window closes.
    QLabel* ClosingNote;

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

signals:
    // An upgrade became idle again; completed when its final step ran.
    void UpgradeFinished(bool completed);

protected:
    // FormClose. While an upgrade step waits inside a request the close is refused for now
    // and carried out once the upgrade has stopped after that step.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void FinishDeferredClose();
    // A close asked for during a step is carried out when the step ends; until then the
    // operator sees that it is pending and cannot ask again.
    void ShowClosePending();

    TOptions options_;
    std::unique_ptr<TListBoxLog> log_;
    std::unique_ptr<TApplicationCore> core_;
    TAboutBox* aboutBox_ = nullptr;
    TCommSelFrm* commSelFrm_ = nullptr;
    TDeferredClose closing_;
};
