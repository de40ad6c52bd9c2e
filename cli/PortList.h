#pragma once

#include <string>
#include <vector>

#include "cli/RunnerContract.h"

// A list of port numbers as an operator types it: numbers and ranges separated by commas,
// "1-8,12". Each number follows the system's one integer rule, as --port does (decimal with
// an optional sign, or hexadecimal after $, x, X, 0x or 0X; leading blanks allowed), and
// lies in kLowestPortNumber to kHighestPortNumber (1 to 256).
class TPortList {
public:
    // The ports in the order given, ranges expanded. Throws EStationUsageError for a list
    // that is empty or malformed, a range that runs backwards or a port outside 1 to 256.
    // Repeated ports are kept: the batch refuses them with the names of the two entries.
    static std::vector<int> Parse(const std::string& text);

    // A port number given alone (--port N): the same rule and range.
    static int ParsePort(const std::string& text);
};
