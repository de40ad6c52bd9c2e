#include "cli/StationDisplay.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/StationReport.h"
#include "package/FormatVersion.h"

namespace {

const std::string kEraseStep = "Erasing Program Memory";
const std::string kWriteStep = "Sending New Program Data";
constexpr std::size_t kBarWidth = 20;

// text in a column of width characters: cut (keeping the end for paths) or padded.
std::string Column(const std::string& text, std::size_t width, bool keepEnd = false) {
    if (text.size() > width)
        return keepEnd ? "..." + text.substr(text.size() - (width - 3)) : text.substr(0, width - 1) + "~";
    return text + std::string(width - text.size(), ' ');
}

std::string Cut(std::string line, std::size_t width) {
    if (line.size() > width) line.resize(width);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

winsize TerminalSize(std::FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) != 0) size = winsize{};
    if (size.ws_col <= 20) size.ws_col = 120;
    if (size.ws_row <= 8) size.ws_row = 0;  // unknown: every row is drawn
    return size;
}

std::string ResultText(const TStationUnit& unit) {
    return unit.Running ? "running" : TStationReport::ResultName(unit.Result());
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
    return Cut(Column("Port", 8) + Column("Device", 24) + Column("Model", 12) + Column("Step", 27) +
                   Column("Progress", 28) + "Result",
               width);
}

std::string TStationDisplay::Row(const TStationUnit& unit, std::size_t width) {
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
    return Cut(Column(unit.Port != 0 ? unit.Label : "-", 8) + Column(unit.Device, 24, true) +
                   Column(model, 12) + Column(unit.Step, 27) + Column(progress, 28) + ResultText(unit),
               width);
}

void TStationDisplay::Draw(const std::vector<const TStationUnit*>& units) {
    if (!live_) return;
    const winsize size = TerminalSize(out_);
    const std::size_t width = size.ws_col - 1;
    // The table must fit the screen, or moving back up to its top would fail: beyond the
    // rows that fit, one line counts the rest.
    std::size_t shown = units.size();
    if (size.ws_row != 0 && units.size() + 4 > size.ws_row) shown = size.ws_row - 5;
    std::string frame;
    // Back to the top of the table drawn before, then every row rewritten and its rest erased.
    if (drawnRows_ > 0) frame += "\x1b[" + std::to_string(drawnRows_) + "A";
    frame += "\r" + Header(width) + "\x1b[K\n";
    for (std::size_t i = 0; i < shown; ++i) frame += "\r" + Row(*units[i], width) + "\x1b[K\n";
    if (shown < units.size()) {
        int running = 0, completed = 0, failed = 0;
        for (std::size_t i = shown; i < units.size(); ++i) {
            running += units[i]->Running;
            completed += !units[i]->Running && units[i]->Result() == TStationUnit::TResult::Completed;
            failed += !units[i]->Running && units[i]->Result() != TStationUnit::TResult::Completed;
        }
        frame +=
            "\r" +
            Cut("... " + std::to_string(units.size() - shown) + " more units: " + std::to_string(running) +
                    " running, " + std::to_string(completed) + " completed, " + std::to_string(failed) +
                    " failed or not restored",
                width) +
            "\x1b[K\n";
    }
    drawnRows_ = shown + 1 + (shown < units.size() ? 1 : 0);
    std::fputs(frame.c_str(), out_);
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
        if (unit->Result() == TStationUnit::TResult::SettingsNotRestored) {
            std::fprintf(out_, "  %s settings not restored%s%s\n", unit->Label.c_str(),
                         unit->Messages.empty() ? "" : ": ",
                         unit->Messages.empty() ? "" : unit->Messages.back().c_str());
        } else if (unit->Result() != TStationUnit::TResult::Completed) {
            std::fprintf(out_, "  %s failed: %s\n", unit->Label.c_str(), unit->FailingLine().c_str());
        }
    }
    std::fflush(out_);
}
