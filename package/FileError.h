#pragma once

#include <stdexcept>
#include <string>

// A file that could not be opened or read; the message names the file.
class EFileError : public std::runtime_error {
public:
    explicit EFileError(const std::string& message) : std::runtime_error(message) {}
};
