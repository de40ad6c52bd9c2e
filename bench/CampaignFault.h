#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/SimFaultPlan.h"

// One fault of the fault campaign: what goes wrong, at which exchange of the upgrade, and
// how that is asked of the simulated unit (in process, or on unitsim's command line).
//
// Exchanges are numbered as the unit counts them, from 1 across both modes. An upgrade
// of the default package runs 628: the identity read, the boot-mode entry write, two boot
// info and two model requests, 124 erases, 496 block writes, clearing the boot flag and
// the restart.
class TCampaignFault {
public:
    enum class TKind {
        CorruptRequest,  // a request arrives with a damaged byte: the unit stays silent
        CorruptReply,    // one byte of a reply is damaged
        DropReply,       // a reply never comes
        LateReply,       // a reply comes after the request has timed out
        Noise,           // random bytes go before a reply
        DuplicateReply,  // a reply comes twice
        OtherModel,      // the boot loader reports another model
        HangUp,          // the line drops during the block writes
        PowerLoss,       // the unit loses power during a block write, back in its boot loader
    };
    static constexpr int kKinds = 9;

    static constexpr std::uint32_t kExchanges = 628;
    static constexpr std::uint32_t kFirstWrite = 131;
    static constexpr std::uint32_t kWrites = 496;

    // A fault of the given kind with its parameters drawn from random.
    static TCampaignFault Draw(TKind kind, std::mt19937_64& random);

    TKind Kind() const { return kind_; }
    // Moves the fault to exchange n (block write n for a power loss), to replay a case.
    void SetAt(std::uint32_t n) { at_ = n; }
    // The kind of that name; false when there is none.
    static bool KindNamed(const std::string& name, TKind& kind);
    static const char* Name(TKind kind);
    // E.g. "drop-reply at 57".
    std::string Describe() const;
    // Whether the unit keeps misbehaving after the faulty upgrade (it then has to be
    // replaced by a sound one holding the same flash for the recovery).
    bool Permanent() const { return kind_ == TKind::OtherModel || kind_ == TKind::HangUp; }

    void ApplyTo(TSimFaultPlan& plan) const;
    std::vector<std::string> UnitSimArgs() const;

private:
    TKind kind_ = TKind::DropReply;
    std::uint32_t at_ = 1;  // exchange, or block write for a power loss
    std::uint32_t delayUs_ = 0;
    std::uint32_t gapUs_ = 0;
    std::uint32_t noiseBytes_ = 0;
    std::uint16_t model_ = 0;
    std::uint64_t seed_ = 1;
};
