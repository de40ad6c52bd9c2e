#pragma once

#include <stdexcept>
#include <string>

// A package resource the build does not carry; the message names the resource.
class EResourceError : public std::runtime_error {
public:
    explicit EResourceError(const std::string& message) : std::runtime_error(message) {}
};
