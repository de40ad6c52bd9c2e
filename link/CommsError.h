#pragma once

#include <stdexcept>
#include <string>

// Errors of the serial link that its caller cannot handle; carries only its message.
class ECommsError : public std::runtime_error {
public:
    explicit ECommsError(const std::string& message) : std::runtime_error(message) {}
};
