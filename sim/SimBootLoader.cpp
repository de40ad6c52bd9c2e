#include "sim/SimBootLoader.h"

#include <algorithm>
#include <cstdio>

#include "sim/SimWire.h"

namespace {

constexpr std::uint8_t kCmdModelOrRestart = 0x00;
constexpr std::uint8_t kCmdWrite = 0x02;
constexpr std::uint8_t kCmdErase = 0x03;
constexpr std::uint8_t kCmdClearFlag = 0x05;
constexpr std::uint8_t kCmdInfo = 0x08;

std::string Hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

TSimBootLoader::TSimBootLoader(const TSimConfig& config)
    : flash_(kFlashSize, 0xFF),
      partEnd_(std::min<std::uint32_t>(config.PartEnd, kFlashSize - 1)),
      model_(config.Faults.ReportModel.value_or(config.Model)),
      infoModel_(config.BootLoaderModel.value_or(config.Model)),
      infoVersion_(config.BootLoaderVersion) {
    std::copy_n(config.InitialFlash.begin(), std::min(config.InitialFlash.size(), kFlashSize),
                flash_.begin());
}

TSimBootLoader::TRequest TSimBootLoader::Parse(std::span<const std::uint8_t> payload) {
    TRequest req;
    if (payload.size() < 3) {
        req.Note = "short payload";
        return req;
    }
    const std::uint8_t command = payload[0];
    const std::uint8_t count = payload[1];
    const std::span<const std::uint8_t> data = payload.subspan(2, payload.size() - 3);
    // Addresses travel low byte first, followed by a third byte that is always 0.
    auto address = [&data] { return std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8; };

    if (command == kCmdModelOrRestart && count == 2 && data.empty()) {
        req.Kind = TKind::ReadModel;
        req.Note = "read model";
    } else if (command == kCmdModelOrRestart && count == 0 && data.empty()) {
        req.Kind = TKind::Restart;
        req.Note = "restart";
    } else if (command == kCmdInfo && count == 4 && data.empty()) {
        req.Kind = TKind::ReadInfo;
        req.Note = "boot info";
    } else if (command == kCmdErase && count == 8 && data.size() == 3 && data[2] == 0) {
        req.Kind = TKind::Erase;
        req.Address = address();
        req.Note = "erase " + Hex4(req.Address);
    } else if (command == kCmdWrite && count == 2 && data.size() == 3 + kWriteSize && data[2] == 0) {
        req.Kind = TKind::Write;
        req.Address = address();
        req.Data = data.subspan(3);
        req.Note = "write " + Hex4(req.Address);
    } else if (command == kCmdClearFlag && count == 1 && data.size() == 4 && data[0] == 0xFF &&
               data[1] == 0x03 && data[2] == 0 && data[3] == 0) {
        req.Kind = TKind::ClearFlag;
        req.Note = "clear boot flag";
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "command 0x%02X count %u with %zu data bytes", command, count,
                      data.size());
        req.Note = text;
    }
    return req;
}

TSimBootLoader::TOutcome TSimBootLoader::Answer(std::uint8_t command, std::vector<std::uint8_t> data,
                                                std::string note) const {
    std::vector<std::uint8_t> payload{command, 0x00};
    payload.insert(payload.end(), data.begin(), data.end());
    payload.push_back(static_cast<std::uint8_t>(-TSimWire::BootSum(payload)));
    TOutcome out;
    out.Replies = true;
    out.Reply = TSimWire::StuffBootFrame(payload);
    out.Note = std::move(note);
    return out;
}

TSimBootLoader::TOutcome TSimBootLoader::Execute(const TRequest& request, TSimStatistics& stats) {
    auto refuse = [&request](std::uint32_t& counter) {
        ++counter;
        TOutcome out;
        out.Refused = true;
        out.Note = request.Note + " refused";
        return out;
    };
    auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };

    switch (request.Kind) {
        case TKind::ReadModel:
            ++stats.BootReadModel;
            return Answer(kCmdModelOrRestart, {hi(model_), lo(model_)}, request.Note);
        case TKind::ReadInfo:
            ++stats.BootReadInfo;
            return Answer(kCmdInfo, {hi(infoModel_), lo(infoModel_), hi(infoVersion_), lo(infoVersion_)},
                          request.Note);
        case TKind::Erase: {
            ++stats.BootErases;
            // The boot loader below 2048 protects itself; erase works on whole, aligned pages.
            if (request.Address < kApplicationStart || request.Address % kEraseSize != 0 ||
                request.Address + kEraseSize - 1 > partEnd_) {
                return refuse(stats.RefusedErases);
            }
            std::fill_n(flash_.begin() + request.Address, kEraseSize, 0xFF);
            return Answer(kCmdErase, {}, request.Note);
        }
        case TKind::Write: {
            ++stats.BootWrites;
            if (request.Address < kApplicationStart || request.Address % kWriteSize != 0 ||
                request.Address + kWriteSize - 1 > partEnd_) {
                return refuse(stats.RefusedWrites);
            }
            auto target = flash_.begin() + request.Address;
            // Programming can only clear bits of erased flash; a write that would change a
            // byte that is not erased shows that an erase was missed.
            bool overProgrammed = false;
            for (std::size_t i = 0; i < kWriteSize; ++i) {
                if (target[i] != 0xFF && target[i] != request.Data[i]) overProgrammed = true;
            }
            if (overProgrammed) ++stats.WritesOverProgrammed;
            std::copy(request.Data.begin(), request.Data.end(), target);
            return Answer(kCmdWrite, {}, request.Note + (overProgrammed ? " over programmed bytes" : ""));
        }
        case TKind::ClearFlag:
            ++stats.BootClearFlag;
            bootFlag_ = false;
            return Answer(kCmdClearFlag, {}, request.Note);
        case TKind::Restart:
            ++stats.BootRestarts;
            return Answer(kCmdModelOrRestart, {}, request.Note);
        case TKind::Malformed:
            ++stats.BootMalformed;
            break;
    }
    TOutcome out;
    out.Note = request.Note + " ignored";
    return out;
}
