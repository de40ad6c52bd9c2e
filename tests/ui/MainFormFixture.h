#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/PseudoTerminal.h"
#include "platform/qt/QtMessageLoop.h"
#include "support/TempDir.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/qt/AboutBox.h"
#include "ui/qt/CommSelFrm.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/MessageBoxes.h"

// The desktop program's window as main() builds it, run in a working directory and a ports
// directory of the test's own. Every port a test may reach is an entry of that directory:
// a dangling link (a missing port) unless the test makes it present, so nothing ever
// reaches the machine's own serial devices.
class MainFormFixture : public ::testing::Test {
protected:
    static constexpr int kHighestPort = 256;

    void SetUp() override;
    void TearDown() override;

    // Builds the window (running its start-up) and then the two dialogs.
    TMainForm& CreateForm(TMainForm::TOptions options = {});

    // COM<port> becomes a pseudo-terminal that nobody answers on.
    TPseudoTerminal& PresentPort(int port);
    // COM<port> becomes a simulated unit (unitsim) with the given extra options.
    void UnitOnPort(int port, const std::vector<std::string>& options = {});
    void MissingPort(int port);

    std::string SettingsPath() const { return work_.File("Bootload.Ini"); }
    std::string Settings() const { return TTempDir::Read(SettingsPath()); }
    void WriteSettings(const std::string& text) const { work_.Write("Bootload.Ini", text); }

    QStringList LogLines() const;
    static std::string UnitSimPath();

    TTempDir work_;
    std::filesystem::path ports_;
    TModalScript script_;
    std::unique_ptr<TQtMessageLoop> loop_;
    std::vector<std::unique_ptr<TPseudoTerminal>> terminals_;
    std::vector<std::unique_ptr<QProcess>> units_;
    std::unique_ptr<TMainForm> form_;

private:
    std::filesystem::path previousDir_;
    std::string previousPorts_;
    bool hadPorts_ = false;
};
