#pragma once

#include <string>
#include <vector>

// Texts the system gives, as UTF-8.

// The system's message for an error code (GetLastError), without the line end it comes
// with; "error N" when the system has none.
std::string SystemMessage(unsigned long error);

// This program's arguments, without its own name, from the wide command line: the narrow
// argv holds them in the system's code page, which loses the characters of a path it cannot
// represent.
std::vector<std::string> CommandLineArguments();
