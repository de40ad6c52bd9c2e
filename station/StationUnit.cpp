#include "station/StationUnit.h"

#include <cstdio>

#include "cli/RunnerContract.h"
#include "station/StationEvent.h"

namespace {

// The sequencer's steps whose work a finished upgrade has done.
constexpr int kStepErase = 2;
constexpr int kStepProgram = 3;
constexpr int kStepDisableBoot = 4;
constexpr int kStepFinalise = 21;
// A run of bytes without a newline longer than this is garbage, dropped as it comes.
constexpr std::size_t kMaxPending = 4 * TStationEvent::kMaxText;
// An upgrade's log has about ten lines and its process a message or two: a process that
// sends far more is misbehaving, and what it sends beyond these bounds is not kept.
constexpr std::size_t kMaxLines = 200;
constexpr std::size_t kMaxMessages = 100;

// Splits complete lines off the front of buffer.
template <typename TOnLine>
void SplitLines(std::string& buffer, std::string_view bytes, TOnLine onLine) {
    buffer.append(bytes);
    std::size_t start = 0;
    for (std::size_t nl; (nl = buffer.find('\n', start)) != std::string::npos; start = nl + 1)
        onLine(buffer.substr(start, nl - start));
    buffer.erase(0, start);
    if (buffer.size() > kMaxPending) buffer.clear();
}

}  // namespace

TStationUnit::TStationUnit(std::string label, int port, std::string device)
    : Label(std::move(label)), Port(port), Device(std::move(device)) {}

std::vector<std::string> TStationUnit::FeedEvents(std::string_view bytes) {
    std::vector<std::string> finalLines;
    SplitLines(eventBuffer_, bytes, [&](const std::string& line) { Apply(line, finalLines); });
    return finalLines;
}

std::vector<std::string> TStationUnit::FeedMessages(std::string_view bytes) {
    std::vector<std::string> lines;
    SplitLines(messageBuffer_, bytes, [&](const std::string& line) {
        if (Messages.size() >= kMaxMessages) return;
        Messages.push_back(line);
        lines.push_back(line);
    });
    return lines;
}

void TStationUnit::Apply(const std::string& line, std::vector<std::string>& finalLines) {
    const std::optional<TStationEvent> event = TStationEvent::Decode(line);
    if (!event) {
        ++Garbage;
        return;
    }
    ++Events;
    const std::string& text = event->Text;
    switch (event->Kind) {
        case TStationEvent::TKind::Recorded:
            Recorded = true;
            break;
        case TStationEvent::TKind::Clear:
            if (lineOpen_) finalLines.push_back(Lines.back());
            lineOpen_ = false;
            Lines.clear();
            Step.clear();
            Percent = -1;
            erased_ = written_ = bootDisabled_ = finalised_ = false;
            break;
        case TStationEvent::TKind::Line:
            if (Lines.size() >= kMaxLines) {
                ++Garbage;
                break;
            }
            if (lineOpen_) finalLines.push_back(Lines.back());
            Lines.push_back(text);
            lineOpen_ = true;
            break;
        case TStationEvent::TKind::Replace:
            if (!lineOpen_) {
                ++Garbage;
                break;
            }
            Lines.back() = text;
            break;
        case TStationEvent::TKind::Ended: {
            int step = -1, succeeded = -1;
            if (std::sscanf(text.c_str(), "%d %d", &step, &succeeded) != 2 ||
                (succeeded != 0 && succeeded != 1)) {
                ++Garbage;
                break;
            }
            const bool done = succeeded == 1;
            if (step == kStepErase) erased_ = done;
            if (step == kStepProgram) written_ = done;
            if (step == kStepDisableBoot) bootDisabled_ = done;
            if (step == kStepFinalise) finalised_ = done;
            break;
        }
        case TStationEvent::TKind::Step:
            Step = text;
            Percent = -1;
            break;
        case TStationEvent::TKind::Percent: {
            int value = -1;
            if (std::sscanf(text.c_str(), "%d", &value) == 1 && value >= 0 && value <= 100)
                Percent = value;
            else
                ++Garbage;
            break;
        }
        case TStationEvent::TKind::Identity: {
            unsigned model = 0, version = 0;
            IdentityKnown = true;
            if (std::sscanf(text.c_str(), "%u %u", &model, &version) == 2 && model <= 0xFFFF &&
                version <= 0xFFFF) {
                Model = static_cast<std::uint16_t>(model);
                Version = static_cast<std::uint16_t>(version);
            } else {
                Model.reset();
                Version.reset();
            }
            break;
        }
        case TStationEvent::TKind::BootLoader:
            if (text == "-")
                BootLoader.reset();
            else
                BootLoader = text;
            break;
    }
}

std::vector<std::string> TStationUnit::Ended(std::optional<int> exitStatus, int signal,
                                             const std::string& reason) {
    std::vector<std::string> finalLines;
    // What is left without a newline is an event cut off by the end: not believed.
    if (!eventBuffer_.empty()) ++Garbage;
    eventBuffer_.clear();
    if (!messageBuffer_.empty() && Messages.size() < kMaxMessages) Messages.push_back(messageBuffer_);
    messageBuffer_.clear();
    if (lineOpen_) finalLines.push_back(Lines.back());
    lineOpen_ = false;
    Running = false;
    ExitStatus = exitStatus;
    Signal = signal;
    EndReason = reason;
    return finalLines;
}

bool TStationUnit::Finished() const {
    return erased_ && written_ && bootDisabled_;
}

TStationUnit::TResult TStationUnit::Result() const {
    if (Running) return TResult::Running;
    if (!ExitStatus || !EndReason.empty()) return TResult::Failed;
    if (*ExitStatus == kExitCompleted && Finished() && finalised_) return TResult::Completed;
    if (*ExitStatus == kExitSettingsNotRestored && Finished() && finalised_)
        return TResult::SettingsNotRestored;
    return TResult::Failed;
}

std::string TStationUnit::FailingLine() const {
    if (Result() != TResult::Failed) return {};
    const std::string last = Lines.empty() ? std::string() : Lines.back();
    if (!EndReason.empty()) return last.empty() ? EndReason : last + " (" + EndReason + ")";
    if (!ExitStatus)
        return (last.empty() ? "" : last + " ") + "(ended by signal " + std::to_string(Signal) + ")";
    if (*ExitStatus == kExitCompleted || *ExitStatus == kExitSettingsNotRestored)
        return (last.empty() ? "" : last + " ") + "(exit status " + std::to_string(*ExitStatus) +
               " without the events of a finished upgrade)";
    // A start-up error (the port did not open) has no log: its message says it.
    if (Lines.empty() && !Messages.empty()) return Messages.back();
    if (last.empty()) return "(exit status " + std::to_string(*ExitStatus) + ", no log)";
    return last;
}

std::string TStationUnit::FailedStep() const {
    if (Result() != TResult::Failed || Lines.empty()) return {};
    return Lines.back().substr(0, Lines.back().find('.'));
}
