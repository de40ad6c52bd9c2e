#include "bench/CampaignFault.h"

#include <cstdio>

namespace {

// Modbus requests wait (20 + 1) x 100 ms, boot commands (30 + 1) x 100 ms.
constexpr std::uint32_t kModbusTimeoutUs = 2'100'000;
constexpr std::uint32_t kBootTimeoutUs = 3'100'000;
constexpr std::uint32_t kModbusExchanges = 2;

std::uint32_t Between(std::mt19937_64& random, std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
}

// Milliseconds with all their microseconds, as unitsim reads them back.
std::string Ms(std::uint32_t us) {
    char text[24];
    std::snprintf(text, sizeof text, "%u.%03u", us / 1000, us % 1000);
    return text;
}

}  // namespace

TCampaignFault TCampaignFault::Draw(TKind kind, std::mt19937_64& random) {
    TCampaignFault f;
    f.kind_ = kind;
    f.seed_ = random();
    f.at_ = Between(random, 1, kExchanges);
    switch (kind) {
        case TKind::LateReply:
            // Late by up to 1.5 s past the timeout of the request it answers.
            f.delayUs_ = (f.at_ <= kModbusExchanges ? kModbusTimeoutUs : kBootTimeoutUs) +
                         Between(random, 50, 1500) * 1000;
            break;
        case TKind::Noise:
            f.noiseBytes_ = Between(random, 1, 8);
            break;
        case TKind::DuplicateReply:
            // Right behind the original (one chunk), or after the next request has gone out.
            f.gapUs_ = Between(random, 0, 1) == 0 ? 0 : Between(random, 1500, 10000);
            break;
        case TKind::OtherModel: {
            const std::uint16_t models[] = {6117, 6140, 6155, 6160, 6182, 0, 0xFFFF};
            f.model_ = models[Between(random, 0, std::size(models) - 1)];
            break;
        }
        case TKind::HangUp:
            f.at_ = Between(random, kFirstWrite, kFirstWrite + kWrites - 1);
            break;
        case TKind::PowerLoss:
            f.at_ = Between(random, 1, kWrites);
            break;
        default:
            break;
    }
    return f;
}

const char* TCampaignFault::Name(TKind kind) {
    switch (kind) {
        case TKind::CorruptRequest:
            return "corrupt-request";
        case TKind::CorruptReply:
            return "corrupt-reply";
        case TKind::DropReply:
            return "drop-reply";
        case TKind::LateReply:
            return "late-reply";
        case TKind::Noise:
            return "noise";
        case TKind::DuplicateReply:
            return "duplicate-reply";
        case TKind::OtherModel:
            return "other-model";
        case TKind::HangUp:
            return "hang-up";
        case TKind::PowerLoss:
            return "power-loss";
    }
    return "?";
}

bool TCampaignFault::KindNamed(const std::string& name, TKind& kind) {
    for (int k = 0; k < kKinds; ++k) {
        if (name == Name(static_cast<TKind>(k))) {
            kind = static_cast<TKind>(k);
            return true;
        }
    }
    return false;
}

std::string TCampaignFault::Describe() const {
    std::string text = Name(kind_);
    switch (kind_) {
        case TKind::OtherModel:
            return text + " " + std::to_string(model_);
        case TKind::PowerLoss:
            return text + " at write " + std::to_string(at_);
        case TKind::LateReply:
            return text + " at " + std::to_string(at_) + " by " + Ms(delayUs_) + " ms";
        case TKind::Noise:
            return text + " at " + std::to_string(at_) + " (" + std::to_string(noiseBytes_) + " bytes)";
        case TKind::DuplicateReply:
            return text + " at " + std::to_string(at_) + " (gap " + Ms(gapUs_) + " ms)";
        default:
            return text + " at " + std::to_string(at_);
    }
}

void TCampaignFault::ApplyTo(TSimFaultPlan& plan) const {
    plan.Seed = seed_;
    switch (kind_) {
        case TKind::CorruptRequest:
            plan.CorruptRequestAt.insert(at_);
            break;
        case TKind::CorruptReply:
            plan.CorruptAt.insert(at_);
            break;
        case TKind::DropReply:
            plan.DropAt.insert(at_);
            break;
        case TKind::LateReply:
            plan.DelayAt.insert(at_);
            plan.DelayUs = delayUs_;
            break;
        case TKind::Noise:
            plan.NoiseAt.insert(at_);
            plan.NoiseBytes = noiseBytes_;
            break;
        case TKind::DuplicateReply:
            plan.DuplicateAt.insert(at_);
            plan.DuplicateGapUs = gapUs_;
            break;
        case TKind::OtherModel:
            plan.ReportModel = model_;
            break;
        case TKind::HangUp:
            plan.HangUpAt = at_;
            break;
        case TKind::PowerLoss:
            plan.PowerLossAtWrite = at_;
            break;
    }
}

std::vector<std::string> TCampaignFault::UnitSimArgs() const {
    std::vector<std::string> args = {"--seed", std::to_string(seed_)};
    const std::string at = std::to_string(at_);
    switch (kind_) {
        case TKind::CorruptRequest:
            args.insert(args.end(), {"--corrupt-request-at", at});
            break;
        case TKind::CorruptReply:
            args.insert(args.end(), {"--corrupt-at", at});
            break;
        case TKind::DropReply:
            args.insert(args.end(), {"--drop-at", at});
            break;
        case TKind::LateReply:
            args.insert(args.end(), {"--delay-at", at, "--delay-ms", Ms(delayUs_)});
            break;
        case TKind::Noise:
            args.insert(args.end(), {"--noise-at", at, "--noise-bytes", std::to_string(noiseBytes_)});
            break;
        case TKind::DuplicateReply:
            args.insert(args.end(), {"--duplicate-at", at, "--duplicate-gap-ms", Ms(gapUs_)});
            break;
        case TKind::OtherModel:
            args.insert(args.end(), {"--report-model", std::to_string(model_)});
            break;
        case TKind::HangUp:
            args.insert(args.end(), {"--hang-up-at", at});
            break;
        case TKind::PowerLoss:
            args.insert(args.end(), {"--power-loss-at-write", at});
            break;
    }
    return args;
}
