#include "station/StationDisplay.h"

#include <algorithm>

#include "package/FormatVersion.h"
#include "station/StationPlatform.h"
#include "station/StationReport.h"

namespace {

const std::string kEraseStep = "Erasing Program Memory";
const std::string kWriteStep = "Sending New Program Data";
constexpr std::size_t kBarWidth = 8;
// What is assumed of a terminal that does not tell its size.
constexpr std::size_t kDefaultColumns = 80;
constexpr std::size_t kDefaultRows = 24;

// The columns' widths for a line of width characters, one blank between columns; 0 for a
// column left out. Port, Result and Progress come first, then Step, Model and Device; room
// left over widens Device, then Step.
struct TLayout {
    std::size_t Port = 0, Device = 0, Model = 0, Step = 0, Progress = 0, Result = 0;

    explicit TLayout(std::size_t width) {
        std::size_t left = width;
        auto take = [&left](std::size_t& column, std::size_t least, std::size_t most) {
            if (left < least) return;
            column = std::min(left, most);
            left -= column;
        };
        take(Port, 7, 7);
        take(Result, 10, 12);
        take(Progress, 16, 16);
        take(Step, 16, 24);
        take(Model, 11, 11);
        take(Device, 8, 24);
        if (Step != 0) {
            const std::size_t more = std::min(left, std::size_t{27} - Step);
            Step += more;
            left -= more;
        }
    }
};

// text in a column of width characters (the last one a blank): cut (keeping the end for
// paths) or padded. Nothing for a column left out.
std::string Column(const std::string& text, std::size_t width, bool keepEnd = false) {
    if (width == 0) return {};
    const std::size_t room = width - 1;
    std::string cell = text;
    // A device path that does not fit drops its "/dev/" first: "pts/13" says more than "...ts/13".
    if (keepEnd && cell.size() > room && cell.rfind("/dev/", 0) == 0) cell.erase(0, 5);
    if (cell.size() > room)
        cell = keepEnd && room > 3 ? "..." + cell.substr(cell.size() - (room - 3))
                                   : cell.substr(0, room - 1) + "~";
    return cell + std::string(width - cell.size(), ' ');
}

std::string Cut(std::string line, std::size_t width) {
    if (line.size() > width) line.resize(width);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// The result as the table shows it: the report's names, "settings not restored" shortened.
std::string ResultText(const TStationUnit& unit) {
    if (unit.Running) return "running";
    if (unit.Result() == TStationUnit::TResult::SettingsNotRestored) return "not restored";
    return TStationReport::ResultName(unit.Result());
}

}  // namespace

TStationDisplay::TStationDisplay(std::FILE* out, std::FILE* err, bool live)
    : out_(out), err_(err), live_(live) {}

void TStationDisplay::Line(const TStationUnit& unit, const std::string& text) {
    if (live_) return;
    std::fprintf(out_, "%s: %s\n", unit.Label.c_str(), text.c_str());
    std::fflush(out_);
}

void TStationDisplay::Message(const TStationUnit& unit, const std::string& text) {
    if (live_) return;
    std::fprintf(err_, "%s: %s\n", unit.Label.c_str(), text.c_str());
    std::fflush(err_);
}

std::string TStationDisplay::Header(std::size_t width) {
    const TLayout l(width);
    return Cut(Column("Port", l.Port) + Column("Device", l.Device) + Column("Model", l.Model) +
                   Column("Step", l.Step) + Column("Progress", l.Progress) + Column("Result", l.Result),
               width);
}

std::string TStationDisplay::Row(const TStationUnit& unit, std::size_t width) {
    const TLayout l(width);
    std::string model;
    if (unit.Model && unit.Version)
        model = std::to_string(*unit.Model) + " v" + FormatVersion(*unit.Version);
    else if (unit.IdentityKnown)
        model = "-";
    std::string progress;
    if ((unit.Step == kEraseStep || unit.Step == kWriteStep) && unit.Percent >= 0) {
        const std::size_t filled = kBarWidth * static_cast<std::size_t>(unit.Percent) / 100;
        progress = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] " +
                   std::to_string(unit.Percent) + "%";
    }
    return Cut(Column(unit.Port != 0 ? unit.Label : "-", l.Port) + Column(unit.Device, l.Device, true) +
                   Column(model, l.Model) + Column(unit.Step, l.Step) + Column(progress, l.Progress) +
                   Column(ResultText(unit), l.Result),
               width);
}

std::string TStationDisplay::Frame(const std::vector<const TStationUnit*>& units, std::size_t columns,
                                   std::size_t rows, std::size_t& drawnRows) {
    const std::size_t width = (columns != 0 ? columns : kDefaultColumns) - 1;
    // The cursor ends on the line below the frame: the frame takes one line less than the
    // screen, or moving back up to its top would fail once it scrolled.
    const std::size_t lines = (rows != 0 ? rows : kDefaultRows) - 1;
    std::size_t shown = units.size();
    bool header = true;
    if (units.size() + 1 > lines) {
        header = lines >= 2;
        shown = lines >= 3 ? lines - 2 : 0;
    }
    std::string frame;
    if (drawnRows > 0) frame += "\x1b[" + std::to_string(drawnRows) + "A";
    drawnRows = 0;
    auto add = [&](const std::string& line, bool newline) {
        frame += "\r" + line + "\x1b[K";
        if (newline) {
            frame += "\n";
            ++drawnRows;
        }
    };
    if (header) add(Header(width), true);
    for (std::size_t i = 0; i < shown; ++i) add(Row(*units[i], width), true);
    if (shown < units.size()) {
        int running = 0, completed = 0, failed = 0;
        for (std::size_t i = shown; i < units.size(); ++i) {
            running += units[i]->Running;
            completed += !units[i]->Running && units[i]->Result() == TStationUnit::TResult::Completed;
            failed += !units[i]->Running && units[i]->Result() != TStationUnit::TResult::Completed;
        }
        const std::string rest =
            (shown > 0 ? "... " + std::to_string(units.size() - shown) + " more: " : "") +
            std::to_string(running) + " running, " + std::to_string(completed) + " completed, " +
            std::to_string(failed) + " failed or not restored";
        // On a one-line screen the line is rewritten where it stands.
        add(Cut(rest, width), lines >= 1);
    }
    return frame;
}

void TStationDisplay::Draw(const std::vector<const TStationUnit*>& units) {
    if (!live_) return;
    std::size_t columns = 0, rows = 0;
    TStationPlatform::TerminalSize(out_, columns, rows);
    std::fputs(Frame(units, columns, rows, drawnRows_).c_str(), out_);
    std::fflush(out_);
}

void TStationDisplay::Summary(const std::vector<const TStationUnit*>& units, double seconds) {
    int completed = 0, failed = 0, notRestored = 0;
    for (const TStationUnit* unit : units) {
        switch (unit->Result()) {
            case TStationUnit::TResult::Completed:
                ++completed;
                break;
            case TStationUnit::TResult::SettingsNotRestored:
                ++notRestored;
                break;
            default:
                ++failed;
                break;
        }
    }
    std::fprintf(out_, "\n%d of %zu units completed, %d failed, %d settings not restored (%.1f s)\n",
                 completed, units.size(), failed, notRestored, seconds);
    for (const TStationUnit* unit : units) {
        const TStationUnit::TResult result = unit->Result();
        if (result == TStationUnit::TResult::SettingsNotRestored) {
            std::fprintf(out_, "  %s settings not restored%s%s\n", unit->Label.c_str(),
                         unit->Messages.empty() ? "" : ": ",
                         unit->Messages.empty() ? "" : unit->Messages.back().c_str());
        } else if (result != TStationUnit::TResult::Completed) {
            std::fprintf(out_, "  %s failed: %s\n", unit->Label.c_str(), unit->FailingLine().c_str());
        } else if (live_) {
            // The table showed no messages: a completed unit's warnings are shown here.
            for (const std::string& message : unit->Messages)
                std::fprintf(out_, "  %s: %s\n", unit->Label.c_str(), message.c_str());
        }
        if (unit->Garbage > 0)
            std::fprintf(out_, "  %s: %d lines on its event pipe were no event\n", unit->Label.c_str(),
                         unit->Garbage);
    }
    std::fflush(out_);
}
