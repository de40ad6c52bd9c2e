#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>

#include "tests/ui/UiTestSupport.h"
#include "ui/qt/ListBoxLog.h"

namespace {

class ListBoxLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        list.setGeometry(8, 8, 393, 97);
        list.show();
    }

    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < list.count(); ++i) lines << list.item(i)->text();
        return lines;
    }
    int TopRow() const { return list.indexAt(QPoint(4, 4)).row(); }

    QListWidget list;
    TListBoxLog log{list};
};

TEST_F(ListBoxLogTest, AddSelectsTheNewLineAndScrollsItToTheTop) {
    for (int i = 0; i < 4; ++i) log.AddLogLine("line " + std::to_string(i));
    EXPECT_EQ(list.currentRow(), 3);
    ASSERT_EQ(list.selectedItems().size(), 1);
    EXPECT_EQ(list.selectedItems().first()->text(), QStringLiteral("line 3"));

    // With more lines than fit, an added line goes as far up as the list can scroll.
    for (int i = 4; i < 30; ++i) log.AddLogLine("line " + std::to_string(i));
    QApplication::processEvents();
    EXPECT_EQ(list.verticalScrollBar()->value(), list.verticalScrollBar()->maximum());
    EXPECT_GT(TopRow(), 0);

    const QRect lastLine = list.visualItemRect(list.item(29));
    EXPECT_TRUE(list.viewport()->rect().contains(lastLine));
}

TEST_F(ListBoxLogTest, ReplaceChangesOnlyTheLastLineWithoutScrollingOrSelecting) {
    log.ReplaceLogLine("on an empty log");
    EXPECT_EQ(list.count(), 0);
    for (int i = 0; i < 30; ++i) log.AddLogLine("line " + std::to_string(i));
    list.setCurrentRow(2);
    list.scrollToTop();
    QApplication::processEvents();
    const int scroll = list.verticalScrollBar()->value();

    log.ReplaceLogLine("Erasing Program Memory......50%");
    QApplication::processEvents();

    EXPECT_EQ(list.count(), 30);
    EXPECT_EQ(list.item(29)->text(), QStringLiteral("Erasing Program Memory......50%"));
    EXPECT_EQ(list.item(28)->text(), QStringLiteral("line 28"));
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(list.verticalScrollBar()->value(), scroll);
}

}  // namespace
