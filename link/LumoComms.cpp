#include "link/LumoComms.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::uint32_t kReplyTimerMs = 100;
constexpr std::uint16_t kNoTimeout = 0xFFFF;

}  // namespace

TLumoComms::TLumoComms(TMessageLoop& loop, std::shared_ptr<TPortFactory> factory)
    : loop_(loop), factory_(std::move(factory)), self_(std::make_shared<TLumoComms*>(this)) {
    if (!factory_) {
        throw std::invalid_argument("TLumoComms needs a port factory");
    }
}

TLumoComms::~TLumoComms() {
    // Chunks still queued for this link find it gone and are dropped.
    self_.reset();
    if (IsOpen()) {
        Close();
    }
    DisableTimer();
    conditions_ = nullptr;
}

std::string TLumoComms::PortName(TComport port) {
    const unsigned number = static_cast<unsigned>(port) + 1;
    return (number <= 9 ? std::string("COM") : std::string("\\\\.\\COM")) + std::to_string(number);
}

bool TLumoComms::IsOpen() const {
    return static_cast<bool>(device_);
}

bool TLumoComms::Open() {
    if (IsOpen()) {
        throw ECommsError("Already have a Comm File Open");
    }
    // Everything is acquired into locals and only kept when the receiver runs; on any
    // failure the locals release what was made and the link is as before (a held claim
    // stays held).
    if (claim_ && claimedPort_ != CommPort) {
        claim_.reset();  // another port asked for: a new first open
    }
    openFailure_ = TPortOpenFailure{};
    std::unique_ptr<TPortClaim> claim;
    if (!claim_) {
        claim = factory_->Claim(PortName(CommPort), openFailure_);
        if (!claim) {
            return Failed();
        }
    }
    TPortClaim& opening = claim ? *claim : *claim_;
    std::unique_ptr<TPortDevice> device = opening.Open(openFailure_);
    if (!device) {
        return Failed();
    }
    device->Purge(TSerialDevice::kPurgeRx | TSerialDevice::kPurgeTx);
    // Best effort: a setting the port refuses does not make Open fail.
    const std::uint32_t actualRate =
        device->ApplyLineSettings(TLineSettings{BaudRate, DataBits, StopBits, Parity});

    // A zero-sized buffer could not hold the byte being written; one slot is the least.
    const std::uint16_t size = std::max<std::uint16_t>(RxBufferSize, 1);
    auto buffer = std::make_unique<std::uint8_t[]>(size);  // value-initialised: all zero

    // The receiver's handler carries the session, so every chunk it posts does too,
    // whatever platform's receiver runs it.
    std::weak_ptr<TLumoComms*> weak = self_;
    const std::uint64_t session = session_ + 1;
    TChunkHandler handler = [weak, session](std::unique_ptr<std::uint8_t[]> block, std::uint16_t length) {
        if (auto self = weak.lock()) {
            (*self)->HandleChunk(session, std::move(block), length);
        }
    };
    std::unique_ptr<TReceiver> receiver = device->StartReceiver(loop_, std::move(handler));
    if (!receiver) {
        throw ECommsError("Unable To Create Rx Thread");
    }

    if (claim) {
        claim_ = std::move(claim);
        claimedPort_ = CommPort;
    }
    session_ = session;
    device_ = std::move(device);
    receiver_ = std::move(receiver);
    rxBuffer_ = std::move(buffer);
    rxSize_ = size;
    readPos_ = 0;
    writePos_ = 0;
    rxFull_ = false;
    linkState_ = kAwaitingReply;
    eventsExist_ = true;
    replyDone_ = false;
    timedOut_ = false;
    stop_ = false;
    actualBaudRate_ = actualRate;
    return true;
}

bool TLumoComms::Failed() {
    // A factory that gave no reason still failed the open.
    if (!openFailure_.Failed()) openFailure_.Reason = TPortOpenFailure::TReason::Refused;
    return false;
}

bool TLumoComms::ReopenAt(std::uint32_t baudRate) {
    Close();
    BaudRate = baudRate;
    return Open();
}

void TLumoComms::Close() {
    DisableTimer();
    linkState_ = kReplyClosed;
    // Wakes a request whose wait dispatched the message that led here.
    if (eventsExist_) {
        replyDone_ = true;
    }
    timeoutTicks_ = 0;
    ++closeCount_;
    // A waiting request looks at its flags only after the loop ran one of its own tasks or
    // timers; this Close may come from anything else the wait dispatches (a toolkit timer,
    // a dialog's own loop), so an empty task wakes the wait to see it.
    if (waitDepth_ > 0) {
        loop_.Post([] {});
    }
    if (!IsOpen()) {
        return;
    }
    device_->Purge(TSerialDevice::kPurgeRx | TSerialDevice::kPurgeTx);
    // The receiver has ended before the device it reads is closed.
    StopThread();
    eventsExist_ = false;
    replyDone_ = false;
    timedOut_ = false;
    stop_ = false;
    device_.reset();
    if (!holdPort_) {
        claim_.reset();
    }
    rxBuffer_.reset();
    rxSize_ = 0;
    rxFull_ = false;
    linkState_ = kAwaitingReply;
}

void TLumoComms::HoldPort() {
    holdPort_ = true;
}

void TLumoComms::ReleasePort() {
    holdPort_ = false;
    if (!IsOpen()) {
        claim_.reset();
    }
}

void TLumoComms::StopThread() {
    if (!receiver_) {
        return;
    }
    stop_ = true;
    receiver_.reset();  // returns once reception has ended
}

void TLumoComms::EnableTimer() {
    // Restarted, so the first tick comes a full interval after the request was sent.
    DisableTimer();
    timerId_ = loop_.StartTimer(kReplyTimerMs, [this] { TimerTick(); });
}

void TLumoComms::DisableTimer() {
    if (timerId_ != 0) {
        loop_.StopTimer(timerId_);
        timerId_ = 0;
    }
}

void TLumoComms::HandleChunk(std::uint64_t session, std::unique_ptr<std::uint8_t[]> block,
                             std::uint16_t length) {
    // A chunk read before a Close can be dispatched after it, or after the next Open: it
    // belongs to no request of the port as it is now.
    if (!IsOpen() || session != session_ || !block || length == 0) {
        return;
    }
    ProcessReceived(block.get(), length);
    if (OnReceiveData) {
        const TReceiveDataEvent onData = OnReceiveData;
        onData(block.get(), length);
    }
}

void TLumoComms::SetConditions(TRxCondition* list) {
    conditions_ = list;
}

void TLumoComms::ClearConditions() {
    conditions_ = nullptr;
}

void TLumoComms::ResetConditions() {
    matchedIndex_ = TRxCondition::kNone;
    if (conditions_ != nullptr) {
        conditions_->ResetAll();
    }
}

void TLumoComms::ResetBuffer() {
    readPos_ = 0;
    writePos_ = 0;
    rxFull_ = false;
}

int TLumoComms::FindComplete() const {
    return conditions_ != nullptr ? conditions_->FindComplete() : TRxCondition::kNone;
}

void TLumoComms::ProcessReceived(const std::uint8_t* bytes, std::uint16_t count) {
    if (!rxBuffer_ || bytes == nullptr) {
        return;
    }
    const std::uint64_t closes = closeCount_;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        rxBuffer_[writePos_] = b;
        if (++writePos_ == rxSize_) {
            writePos_ = 0;
        }
        if (writePos_ == readPos_) {
            // Full: keep the first RxBufferSize - 1 bytes; the last slot takes each newer byte.
            rxFull_ = true;
            writePos_ = (writePos_ == 0 ? rxSize_ : writePos_) - 1;
        }
        // Once one condition has matched both patterns, the others stop matching and every
        // byte only advances the counters, so that condition can reach its MinAfter.
        if (matchedIndex_ == TRxCondition::kNone) {
            matchedIndex_ = conditions_ != nullptr ? conditions_->MatchAll(b) : TRxCondition::kNone;
        } else if (conditions_ != nullptr) {
            conditions_->AdvanceAll();
        }
        if (OnReceiveMsg) {
            const int n = FindComplete();
            if (n != TRxCondition::kNone) {
                // The message is consumed here, so its timeout is no longer wanted; but a
                // request blocked in WaitReply never sees this reply and needs its timer
                // to end the wait, so the timer keeps running while one waits.
                if (waitDepth_ == 0) {
                    DisableTimer();
                }
                const TReceiveMsgEvent onMsg = OnReceiveMsg;
                onMsg(n);
                if (closeCount_ != closes) {
                    return;  // the handler closed the link; the rest of the chunk has no buffer
                }
                ResetConditions();
                ResetBuffer();
            }
        }
    }
    if (linkState_ == kAwaitingReply) {
        const int n = FindComplete();
        if (n != TRxCondition::kNone) {
            linkState_ = n;
            DisableTimer();
            replyDone_ = true;
        }
    }
}

bool TLumoComms::Send(const std::uint8_t* data, std::uint16_t length, std::uint16_t timeoutTicks) {
    if (linkState_ == kReplyClosed || !IsOpen()) {
        return false;
    }
    ResetBuffer();
    replyDone_ = false;
    timedOut_ = false;
    timeoutTicks_ = timeoutTicks;
    linkState_ = kAwaitingReply;
    tickCounter_ = 0;
    // Started before the write: the write blocks without dispatching, and the timeout
    // counts from the request.
    EnableTimer();
    if (data == nullptr && length > 0) {
        return false;
    }
    return device_->WriteAll(data, length);
}

void TLumoComms::TimerTick() {
    if (timerId_ == 0 || linkState_ != kAwaitingReply) {
        DisableTimer();
        return;
    }
    // The tick right after Send only arms the count, so T ticks expire on tick T + 1.
    if (tickCounter_ >= 1) {
        if (timeoutTicks_ > 0 && timeoutTicks_ < kNoTimeout) {
            --timeoutTicks_;
        }
        tickCounter_ = 0;
    }
    if (timeoutTicks_ == 0 && linkState_ == kAwaitingReply) {
        DisableTimer();
        timedOut_ = true;
        if (OnTimeOut) {
            const TTimeOutEvent onTimeOut = OnTimeOut;
            onTimeOut();
        }
    }
    ++tickCounter_;
}

std::int32_t TLumoComms::WaitReply() {
    if (!IsOpen()) {
        return linkState_;
    }
    // Received chunks and the reply timer only run while the loop dispatches, so the wait
    // dispatches and tests its flags after every pass.
    const std::uint64_t closes = closeCount_;
    struct TWaiting {
        int& depth;
        explicit TWaiting(int& d) : depth(d) { ++depth; }
        ~TWaiting() { --depth; }
    } waiting(waitDepth_);
    for (;;) {
        if (closeCount_ != closes) {
            // Closed from a dispatched message; what happened since (even a new Open) is
            // not this request's reply.
            return kReplyClosed;
        }
        if (replyDone_) {
            return linkState_;
        }
        if (timedOut_) {
            linkState_ = kReplyTimeout;
            return kReplyTimeout;
        }
        if (stop_) {
            return linkState_;
        }
        loop_.WaitAndDispatch();
    }
}

std::uint16_t TLumoComms::ReadReply(int n, std::uint8_t* dst, std::uint16_t maxLen, int pre, int mid,
                                    int tail) {
    if (dst == nullptr) {
        return 0;
    }
    const TRxConditionItem* item = conditions_ != nullptr ? conditions_->GetItem(n) : nullptr;
    if (item == nullptr || !rxBuffer_) {
        dst[0] = 0;
        return 0;
    }
    // Reads never wrap. Only bytes received since the buffer was reset are copied, whatever
    // the counters say (they may count bytes from before the reset, or beyond a full
    // buffer); the tail never reaches WritePos.
    const std::int64_t filled = rxFull_ ? rxSize_ : writePos_;
    std::uint32_t copied = 0;
    auto copy = [&](std::int64_t from, std::int64_t count, std::int64_t limit) {
        for (std::int64_t p = from; p < from + count && p < limit && copied < maxLen; ++p) {
            dst[copied++] = rxBuffer_[static_cast<std::size_t>(p)];
        }
    };

    const std::int64_t before = item->CountBefore;
    const std::int64_t between = item->CountBetween;
    std::int64_t p = pre >= 0 ? std::max<std::int64_t>(0, before - pre) : 0;
    copy(p, before - p, filled);
    p = before;

    if (mid > 0) {
        copy(p, mid, filled);
        p = before + between;
    } else if (mid < 0) {
        copy(p, between, filled);
        p += between;
    }

    if (tail > 0) {
        copy(p, tail, writePos_);
    } else if (tail < 0) {
        copy(p, writePos_ - p, writePos_);
    }
    dst[copied] = 0;
    return static_cast<std::uint16_t>(copied);
}
