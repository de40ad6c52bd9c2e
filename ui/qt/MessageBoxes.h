#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <string>

#include "ui/DefaultErrorText.h"
#include "ui/DialogType.h"

// The operator's message boxes. All are modal, parentless (centred on the screen) and
// offer no choice beyond their buttons.

// The application title: the caption of plain message boxes and of the default error box.
// It starts empty and is set once at start-up. Qt's own display name cannot stand in for
// it: Qt falls back to the executable's name when that is empty, and the window system
// appends it to every window's caption.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// The default error box: the application title as caption, the stop icon, one "OK" button.
void ShowDefaultErrorBox(const std::string& message);

// A plain message box: no icon, one "OK" button, the application title as caption.
void ShowMessage(const std::string& text);

// The error sound of the dialog type, then a modal box of that type ("Warning", "Error",
// "Information", "Confirm" or, for Custom, the application title). Returns the button
// pressed. helpContext is accepted for the callers' sake; there is no help system.
QMessageBox::StandardButton ErrorBox(const std::string& message, TMsgDlgType type,
                                     QMessageBox::StandardButtons buttons, int helpContext);

// Runs one handler (an operator command, the start-up sequence, a step): an exception that
// escapes it ends it there and is shown in the default error box, so no exception ever
// travels through Qt's event loop and the program goes on.
void RunGuarded(const std::function<void()>& handler);
