#pragma once

#include <stdexcept>
#include <string>

// A batch command line that cannot run: a bad port list, a port named twice, a missing value.
// The batch then exits with the usage status before any unit is touched.
class EStationUsageError : public std::runtime_error {
public:
    explicit EStationUsageError(const std::string& message) : std::runtime_error(message) {}
};
