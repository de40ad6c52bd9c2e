#pragma once

#include <QListWidget>

#include "platform/OperatorLog.h"

// The operator log shown in the main window's list box.
class TListBoxLog : public OperatorLog {
public:
    explicit TListBoxLog(QListWidget& listBox) : listBox_(listBox) {}

    void Clear() override;
    void AddLogLine(const std::string& text) override;
    void ReplaceLogLine(const std::string& text) override;
    void AppendLine(const std::string& text) override;

private:
    QListWidget& listBox_;
};
