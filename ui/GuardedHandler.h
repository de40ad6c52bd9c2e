#pragma once

#include <exception>
#include <functional>
#include <string>

// Runs a handler of a face; an exception that escapes it is reported by its message
// ("Unexpected error" for one that is no std::exception), and the program goes on. The same
// in both faces, which report in their default error box.
inline void RunGuardedReporting(const std::function<void()>& handler,
                                const std::function<void(const std::string&)>& report) {
    try {
        handler();
    } catch (const std::exception& error) {
        report(error.what());
    } catch (...) {
        report("Unexpected error");
    }
}
