#pragma once

#include <stdexcept>
#include <string>

// A text that had to be a number and is not; the message names the text.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};
