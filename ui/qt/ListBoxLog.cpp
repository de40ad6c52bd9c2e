#include "ui/qt/ListBoxLog.h"

void TListBoxLog::Clear() {
    listBox_.clear();
}

void TListBoxLog::AddLogLine(const std::string& text) {
    listBox_.addItem(QString::fromStdString(text));
    QListWidgetItem* item = listBox_.item(listBox_.count() - 1);
    listBox_.setCurrentItem(item);
    // As far as the list can scroll: near the end the new line shows lower down.
    listBox_.scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void TListBoxLog::ReplaceLogLine(const std::string& text) {
    if (listBox_.count() == 0) return;
    listBox_.item(listBox_.count() - 1)->setText(QString::fromStdString(text));
}

void TListBoxLog::AppendLine(const std::string& text) {
    listBox_.addItem(QString::fromStdString(text));
}
