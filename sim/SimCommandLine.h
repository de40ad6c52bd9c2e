#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "sim/UnitSimOptions.h"

// A command line that unitsim cannot use; the message names the option and the value.
class ESimUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line of unitsim.
class TSimCommandLine {
public:
    // Parses the arguments after the program name. Throws ESimUsage.
    static TUnitSimOptions Parse(const std::vector<std::string>& args);
    static std::string Usage();
};
