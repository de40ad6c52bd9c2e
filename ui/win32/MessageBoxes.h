#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/DialogType.h"

// The operator's message boxes. All are modal for the whole program (task-modal), have no
// owner window so that they open centred on the screen, and offer no choice beyond their
// buttons.

// The application title: the caption of plain message boxes and of the default error box.
// It starts empty and is set once at start-up.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// The default error box: the application title as caption, the stop icon, one "OK" button,
// the text of DefaultErrorText.
void ShowDefaultErrorBox(const std::string& message);

// A plain message box: no icon, one "OK" button, the application title as caption.
void ShowMessage(const std::string& text);

// The system sound of the dialog type (MessageBeep), then a modal box of that type
// ("Warning", "Error", "Information", "Confirm" or, for Custom, the application title with
// no icon) with the given MessageBox buttons. Returns the button pressed. helpContext is
// accepted for the callers' sake; there is no help system.
int ErrorBox(const std::string& message, TMsgDlgType type, UINT buttons, int helpContext);

// Runs one handler (an operator command, the start-up sequence, a step): an exception that
// escapes it ends it there and is shown in the default error box, and the program goes on.
void RunGuarded(const std::function<void()>& handler);
