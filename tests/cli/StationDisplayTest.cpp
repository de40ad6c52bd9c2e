#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/posix/PseudoTerminal.h"
#include "station/StationDisplay.h"
#include "station/StationEvent.h"
#include "station/StationPlatform.h"
#include "support/OutputLines.h"
#include "support/SuccessLog.h"

namespace {

// Eight units in the middle of their write, the last given by a long device path.
std::vector<std::unique_ptr<TStationUnit>> WritingUnits() {
    std::vector<std::unique_ptr<TStationUnit>> units;
    for (int port = 1; port <= 8; ++port) {
        auto unit = std::make_unique<TStationUnit>("COM" + std::to_string(port), port,
                                                   "/dev/pts/" + std::to_string(port));
        for (const TStationEvent& e : {TStationEvent{TStationEvent::TKind::Identity, "6181 109"},
                                       TStationEvent{TStationEvent::TKind::Step, "Sending New Program Data"},
                                       TStationEvent{TStationEvent::TKind::Percent, "50"}})
            unit->FeedEvents(e.Encode());
        units.push_back(std::move(unit));
    }
    return units;
}

std::vector<const TStationUnit*> View(const std::vector<std::unique_ptr<TStationUnit>>& units) {
    std::vector<const TStationUnit*> view;
    for (const auto& u : units) view.push_back(u.get());
    return view;
}

TEST(StationDisplayTest, TheTableFitsTheTerminalAndNeverScrollsIt) {
    const auto units = WritingUnits();
    struct TCase {
        std::size_t columns, rows;
    };
    for (const TCase c : {TCase{80, 24}, TCase{80, 8}, TCase{120, 5}, TCase{20, 3}, TCase{40, 2},
                          TCase{60, 1}, TCase{0, 0}}) {
        SCOPED_TRACE(std::to_string(c.columns) + "x" + std::to_string(c.rows));
        std::size_t drawn = 0;
        TStationDisplay::Frame(View(units), c.columns, c.rows, drawn);
        const std::size_t first = drawn;
        // Redrawn in place: up by what the frame before took, never more lines than fit.
        const std::string frame = TStationDisplay::Frame(View(units), c.columns, c.rows, drawn);
        EXPECT_EQ(drawn, first);
        EXPECT_EQ(frame.rfind(first > 0 ? "\x1b[" + std::to_string(first) + "A" : "\r", 0), 0u);
        const std::size_t rows = c.rows != 0 ? c.rows : 24;
        EXPECT_LE(drawn, rows - 1);
        EXPECT_EQ(static_cast<std::size_t>(std::count(frame.begin(), frame.end(), '\n')), drawn);
        const std::string text = std::regex_replace(frame, std::regex("\x1b\\[[0-9]*[AK]|\r"), "");
        for (const std::string& line : Lines(text))
            EXPECT_LT(line.size(), c.columns != 0 ? c.columns : 80) << line;
    }
    // At 80 columns a row shows the unit's progress and result.
    const std::string header = TStationDisplay::Header(79);
    EXPECT_NE(header.find("Progress"), std::string::npos) << header;
    EXPECT_NE(header.find("Result"), std::string::npos) << header;
    const std::string row = TStationDisplay::Row(*units[0], 79);
    EXPECT_NE(row.find("[####....] 50%"), std::string::npos) << row;
    EXPECT_EQ(row.substr(row.size() - 7), "running") << row;
    EXPECT_NE(row.find("6181 v1.09"), std::string::npos) << row;
    // Twenty columns are twenty, not 120 assumed.
    EXPECT_LE(TStationDisplay::Row(*units[0], 19).size(), 19u);
}

// The table only where cursor movement works: a terminal whose TERM is set and not "dumb".
TEST(StationDisplayTest, TheTableNeedsATerminalThatMovesTheCursor) {
    TPseudoTerminal pty;
    std::FILE* terminal = std::fopen(pty.SlavePath().c_str(), "w");
    ASSERT_NE(terminal, nullptr);
    std::FILE* file = std::tmpfile();
    const char* saved = std::getenv("TERM");
    const std::string previous = saved ? saved : "";
    struct TCase {
        const char* term;  // null: unset
        std::FILE* out;
        bool table;
    };
    for (const TCase c :
         {TCase{"xterm-256color", terminal, true}, TCase{"dumb", terminal, false}, TCase{"", terminal, false},
          TCase{nullptr, terminal, false}, TCase{"xterm-256color", file, false}}) {
        SCOPED_TRACE(c.term ? c.term : "(unset)");
        c.term ? ::setenv("TERM", c.term, 1) : ::unsetenv("TERM");
        EXPECT_EQ(TStationPlatform::TableFits(c.out), c.table);
    }
    saved ? ::setenv("TERM", previous.c_str(), 1) : ::unsetenv("TERM");
    std::fclose(terminal);
    std::fclose(file);
}

TEST(StationDisplayTest, OnATerminalTheSummaryShowsWarningsOfCompletedUnitsAndEveryGarbledPipe) {
    const auto terminal = [](bool live, const std::vector<const TStationUnit*>& units) {
        std::FILE* out = std::tmpfile();
        TStationDisplay display(out, out, live);
        display.Summary(units, 1.0);
        std::rewind(out);
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fclose(out);
        return text;
    };
    TStationUnit unit("COM3", 3, "/dev/pts/3");
    unit.FeedMessages("bootloader-cli: warning: the port runs at 9600 bit/s, not 19200\n");
    unit.FeedEvents("not an event\nL\tInitialising Upgrade.....\n");
    EXPECT_EQ(unit.Garbage, 1);
    EXPECT_EQ(unit.Events, 1);  // garbage is no sign of life for the silence watchdog
    for (const std::string& line : kSuccessLog) {
        unit.FeedEvents(TStationEvent{TStationEvent::TKind::Line, line.substr(0, line.find('.'))}.Encode());
        unit.FeedEvents(TStationEvent{TStationEvent::TKind::Replace, line}.Encode());
    }
    for (const char* step : {"2 1", "3 1", "4 1", "21 1"})
        unit.FeedEvents(TStationEvent{TStationEvent::TKind::Ended, step}.Encode());
    unit.Ended(0, 0, "");
    ASSERT_EQ(unit.Result(), TStationUnit::TResult::Completed);
    const std::string live = terminal(true, {&unit});
    EXPECT_NE(live.find("  COM3: bootloader-cli: warning: the port runs at 9600 bit/s"), std::string::npos)
        << live;
    EXPECT_NE(live.find("  COM3: 1 lines on its event pipe were no event"), std::string::npos) << live;
}

}  // namespace
