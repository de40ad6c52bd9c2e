#pragma once

#include <string>

// The text of the default error box, the same in both faces: the message with a full stop
// appended when its last character comes after "." in character order (so "Failed" gains
// one, "Failed." and "Failed!" do not). Compared as unsigned bytes: a message ending in a
// character beyond ASCII gains a full stop too.
std::string DefaultErrorText(const std::string& message);
