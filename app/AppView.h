#pragma once

#include <string>

#include "upgrade/UpgradeView.h"

// What the application core needs of its face: the desktop window or the headless runner.
class TAppView : public TUpgradeView {
public:
    // Start-up makes the main window visible before anything can show a message.
    virtual void ShowMainWindow() = 0;
    // The Load File menu entry is hidden at start-up.
    virtual void HideLoadFile() = 0;
    // The application title (task-bar text, caption of message boxes).
    virtual void SetApplicationTitle(const std::string& title) = 0;
    // The main window's caption.
    virtual void SetCaption(const std::string& caption) = 0;
    // Status bar panel 0.
    virtual void SetStatusText(const std::string& text) = 0;
    // A plain modal message box: no icon, one "OK" button, the application title as caption.
    virtual void ShowMessage(const std::string& text) = 0;
    // The error dialog: the error sound, then a modal box captioned "Error" with the stop icon.
    virtual void ErrorBox(const std::string& text) = 0;
};
