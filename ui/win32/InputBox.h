#pragma once

#include <string>

#include "platform/MessageLoop.h"
#include "ui/FormLayout.h"
#include "ui/win32/Form.h"

// A modal text-input box: caption, prompt, an empty edit field, "OK" (the default button)
// and "Cancel" (also the Escape key and the close box). Returns the typed text, or the
// empty text when cancelled.
std::string InputBox(TMessageLoop& loop, HWND owner, const TInputPrompt& prompt);
