#pragma once

#include <string>

// The operator log: the list of lines the operator watches during an upgrade.
// It is the only record of an upgrade. The main window shows it in its list box;
// the headless runner prints it.
class OperatorLog {
public:
    virtual ~OperatorLog() = default;

    virtual void Clear() = 0;
    // Appends a line, scrolls it to the top of the visible lines and selects it.
    virtual void AddLogLine(const std::string& text) = 0;
    // Replaces the text of the last line, without scrolling or selecting.
    // On an empty log it does nothing.
    virtual void ReplaceLogLine(const std::string& text) = 0;
    // Appends a line without scrolling or selecting (used by Load File).
    virtual void AppendLine(const std::string& text) = 0;
};
