#pragma once

#include <stdexcept>
#include <string>

// A settings file that could not be written; the message names the file's full path.
class EIniWriteError : public std::runtime_error {
public:
    explicit EIniWriteError(const std::string& message) : std::runtime_error(message) {}
};
