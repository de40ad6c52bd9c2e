#include "tests/boot/ScriptedBootLoader.h"

#include <numeric>

namespace {

constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint32_t kAnswerDelayMs = 5;

std::uint8_t Sum(const std::vector<std::uint8_t>& bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

}  // namespace

TScriptedBootLoader::TScriptedBootLoader(TMemoryPortFactory& ports, std::string portName)
    : ports_(ports), portName_(std::move(portName)) {
    ports_.OnWrite(portName_, [this](const Bytes& frame) { OnFrame(frame); });
}

TScriptedBootLoader::Bytes TScriptedBootLoader::Frame(const Bytes& payload) {
    Bytes frame = {kDle, kStx};
    for (std::uint8_t b : payload) {
        frame.push_back(b);
        if (b == kDle) frame.push_back(kDle);
    }
    frame.push_back(kDle);
    frame.push_back(kEtx);
    return frame;
}

void TScriptedBootLoader::OnFrame(const Bytes& frame) {
    // DLE STX, payload with doubled DLEs, DLE ETX; nothing else.
    Bytes payload;
    bool valid = frame.size() >= 4 && frame[0] == kDle && frame[1] == kStx &&
                 frame[frame.size() - 2] == kDle && frame.back() == kEtx;
    for (std::size_t i = 2; valid && i + 2 < frame.size(); ++i) {
        if (frame[i] == kDle) {
            valid = i + 3 < frame.size() && frame[i + 1] == kDle;
            ++i;
        }
        payload.push_back(frame[i]);
    }
    valid = valid && payload.size() >= 3 && Sum(payload) == 0;
    if (!valid) {
        invalid_.push_back(frame);
        return;
    }
    const std::size_t index = commands_.size();
    commands_.push_back({payload[0], payload[1], Bytes(payload.begin() + 2, payload.end() - 1)});

    const auto fault = faults_.count(index) != 0 ? faults_[index] : TFault::None;
    if (fault == TFault::Silent) return;
    Bytes reply = {payload[0], 0x00};
    if (const auto data = replyData_.find(payload[0]); data != replyData_.end())
        reply.insert(reply.end(), data->second.begin(), data->second.end());
    reply.push_back(static_cast<std::uint8_t>(-Sum(reply)));
    if (fault == TFault::BadChecksum) reply.back() = static_cast<std::uint8_t>(reply.back() + 1);
    ports_.Deliver(portName_, Frame(reply), kAnswerDelayMs);
}
