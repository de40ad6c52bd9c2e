#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/LumoComms.h"
#include "link/PortFactory.h"

// Port access that times every exchange of the link it serves, around another factory
// (the POSIX one for real ports). An exchange starts when a request is handed to the
// device and is recognised when the chunk that completes a receive condition has been
// processed: that is the moment WaitReply sees its reply. Bytes are counted both ways,
// with the line speed the device had, so the time they take on a wire can be worked out.
class TTimedPortFactory : public TPortFactory {
public:
    using TClock = std::chrono::steady_clock;

    struct TExchange {
        TClock::time_point Written;     // the request was handed to the device
        TClock::time_point Recognised;  // the reply completed a condition (when Replied)
        TClock::time_point Ended;       // the next request, a reopen, or the end of the run
        bool Replied = false;
        std::size_t RequestBytes = 0;
        std::size_t ReplyBytes = 0;  // received from the request to the end of the exchange
        std::uint32_t Baud = 0;
    };

    explicit TTimedPortFactory(std::shared_ptr<TPortFactory> inner);

    // The link whose state tells when a reply is recognised; set before its first request.
    void SetLink(const TLumoComms* link) { link_ = link; }

    std::unique_ptr<TPortClaim> Claim(const std::string& portName, TPortOpenFailure& why) override;

    // Ends the exchange in progress and hands out all recorded ones, oldest first.
    std::vector<TExchange> TakeExchanges();

    // Called by the timed device.
    void RequestWritten(TClock::time_point at, std::size_t bytes, std::uint32_t baud);
    void DeviceClosed(TClock::time_point at);

private:
    class TTimedDevice;
    class TTimedClaim;
    TChunkHandler TimedHandler(TChunkHandler onChunk);
    void ChunkArrived(std::size_t bytes);
    void EndOpenExchange(TClock::time_point at);

    std::shared_ptr<TPortFactory> inner_;
    const TLumoComms* link_ = nullptr;
    std::vector<TExchange> exchanges_;
    bool open_ = false;  // the last exchange has not ended
};
