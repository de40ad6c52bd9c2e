#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/CommsError.h"
#include "link/PortFactory.h"
#include "link/ReplyResult.h"
#include "link/RxCondition.h"
#include "platform/LineSettings.h"
#include "platform/MessageLoop.h"

// Port index: ordinal k names port k + 1. The enumeration names COM1 to COM32, but the
// one-byte ordinal takes every value 0 to 255 and the port name rule covers them all.
enum class TComport : std::uint8_t {
    COM1 = 0,
    COM2,
    COM3,
    COM4,
    COM5,
    COM6,
    COM7,
    COM8,
    COM9,
    COM10,
    COM11,
    COM12,
    COM13,
    COM14,
    COM15,
    COM16,
    COM17,
    COM18,
    COM19,
    COM20,
    COM21,
    COM22,
    COM23,
    COM24,
    COM25,
    COM26,
    COM27,
    COM28,
    COM29,
    COM30,
    COM31,
    COM32
};

using TReceiveDataEvent = std::function<void(const std::uint8_t* Buffer, std::uint16_t BufferLength)>;
using TReceiveMsgEvent = std::function<void(std::int32_t condnum)>;
using TTimeOutEvent = std::function<void()>;

// The serial link: opens a port, receives on a background thread, recognises complete
// replies with receive conditions and runs request/reply exchanges with a timeout of
// 100 ms ticks. Everything but the receive thread runs on the user-interface thread.
class TLumoComms {
public:
    // A closed link with the default properties. The factory says how devices are reached
    // (the system's ports, SystemPortFactory.h; tests give an in-memory one). Must not be null.
    TLumoComms(TMessageLoop& loop, std::shared_ptr<TPortFactory> factory);
    ~TLumoComms();
    TLumoComms(const TLumoComms&) = delete;
    TLumoComms& operator=(const TLumoComms&) = delete;

    // Published properties; they take effect at the next Open.
    TComport CommPort = TComport::COM1;
    std::uint32_t BaudRate = 9600;
    std::uint8_t DataBits = 8;
    TStopBits StopBits = TStopBits::sb1;
    TParity Parity = TParity::None;
    std::uint16_t RxBufferSize = 256;
    TReceiveDataEvent OnReceiveData;
    TReceiveMsgEvent OnReceiveMsg;
    TTimeOutEvent OnTimeOut;

    // Device name of a port index: "COM1".."COM9", then "\\.\COM10" and up.
    static std::string PortName(TComport port);

    // true: open with its receiver running. false: the device cannot be opened (nothing
    // changed; OpenFailure says why). Throws ECommsError "Already have a Comm File Open",
    // "File Handle is not a Comm Handle." or "Unable To Create Rx Thread".
    bool Open();
    // Why the last Open failed, as the system told it; no failure after one that succeeded.
    const TPortOpenFailure& OpenFailure() const { return openFailure_; }
    // Allowed on a closed link. Wakes a waiting request, which then returns kReplyClosed.
    void Close();
    bool IsOpen() const;
    // Close, then Open at another line speed (BaudRate keeps it); Open's answer. A failed
    // open shows as failing requests in the steps that follow.
    bool ReopenAt(std::uint32_t baudRate);

    // A run of opens that must all reach one device, as an upgrade's reopens at changing
    // line speeds do. From HoldPort on, the claim of the next first open (or of the port
    // open now) outlives Close: every later Open opens the device that first open found, or
    // fails, and the device stays held against every other instance of the updater in the
    // gaps. An Open with another CommPort is a new first open: the old claim is given up.
    // ReleasePort ends the run; an open port stays open, and its Close gives it up.
    void HoldPort();
    void ReleasePort();
    bool HoldsPort() const { return holdPort_; }

    // Engine: the calling order of every request is SetConditions, ResetConditions, Send,
    // WaitReply, ReadReply (when a condition completed), ClearConditions.
    void SetConditions(TRxCondition* list);
    void ClearConditions();
    void ResetConditions();
    void ResetBuffer();
    int FindComplete() const;
    void ProcessReceived(const std::uint8_t* bytes, std::uint16_t count);
    bool Send(const std::uint8_t* data, std::uint16_t length, std::uint16_t timeoutTicks);
    void TimerTick();
    // A reply result (ReplyResult.h): n >= 1 the completed condition, kReplyTimeout, or
    // kReplyClosed when the port was closed while waiting. When no port is open, the link's
    // state at once.
    std::int32_t WaitReply();
    // Copies condition n's reply out of the receive buffer into dst, which holds maxLen + 1
    // bytes; never writes more than maxLen bytes plus the closing zero.
    std::uint16_t ReadReply(int n, std::uint8_t* dst, std::uint16_t maxLen, int pre, int mid, int tail);

    // The link's state while a request is under way: sent, no condition complete yet.
    static constexpr std::int32_t kAwaitingReply = -1;

    // Observers, for callers and tests.
    // kAwaitingReply, or the result of the last request: a reply result (kReplyClosed after Close).
    std::int32_t LinkState() const { return linkState_; }
    std::uint16_t ReadPos() const { return readPos_; }
    std::uint16_t WritePos() const { return writePos_; }
    std::uint16_t TimeoutTicks() const { return timeoutTicks_; }
    // The receive buffer while open (RxBufferSize bytes), nullptr while closed.
    const std::uint8_t* RxBuffer() const { return rxBuffer_.get(); }
    bool ReplyDoneSignalled() const { return replyDone_; }
    bool TimedOutSignalled() const { return timedOut_; }
    bool StopSignalled() const { return stop_; }
    bool TimerEnabled() const { return timerId_ != 0; }
    // Baud rate the device reported after the last successful Open (0 when unknown).
    std::uint32_t ActualBaudRate() const { return actualBaudRate_; }
    TMessageLoop& Loop() const { return loop_; }

private:
    // Ends a failed Open: false, with a reason kept.
    bool Failed();
    void StopThread();
    void EnableTimer();
    void DisableTimer();
    void HandleChunk(std::uint64_t session, std::unique_ptr<std::uint8_t[]> block, std::uint16_t length);

    TMessageLoop& loop_;
    std::shared_ptr<TPortFactory> factory_;
    // The device as the first open found it, held while the link uses it.
    std::unique_ptr<TPortClaim> claim_;
    TComport claimedPort_ = TComport::COM1;
    bool holdPort_ = false;
    std::unique_ptr<TPortDevice> device_;
    std::unique_ptr<TReceiver> receiver_;
    // Posted chunks hold a weak reference to this, so a chunk dispatched after the link
    // is gone is dropped.
    std::shared_ptr<TLumoComms*> self_;

    std::unique_ptr<std::uint8_t[]> rxBuffer_;
    std::uint16_t rxSize_ = 0;  // RxBufferSize as allocated by Open
    std::uint16_t readPos_ = 0;
    std::uint16_t writePos_ = 0;
    // Set once the buffer has filled up since the last ResetBuffer: from then on every slot
    // holds a received byte, not only those below WritePos.
    bool rxFull_ = false;
    TRxCondition* conditions_ = nullptr;
    std::int32_t matchedIndex_ = TRxCondition::kNone;
    std::int32_t linkState_ = 0;
    std::uint16_t timeoutTicks_ = 0;
    std::uint16_t tickCounter_ = 0;
    TMessageLoop::TTimerId timerId_ = 0;
    // The three events; they exist only while the port is open (eventsExist_).
    bool eventsExist_ = false;
    bool replyDone_ = false;
    bool timedOut_ = false;
    bool stop_ = false;
    // WaitReply calls in progress (a dispatched message may start another request).
    int waitDepth_ = 0;
    // Incremented by every Close, so a wait can tell that the link was closed under it.
    std::uint64_t closeCount_ = 0;
    // Number of the session the open port belongs to, new with every successful Open.
    // Every chunk carries the session it was read in and reaches only that session: a
    // chunk read before a Close and dispatched after the next Open is not the new
    // session's data (a stale Modbus start byte or DLE STX could begin a match there).
    std::uint64_t session_ = 0;
    std::uint32_t actualBaudRate_ = 0;
    TPortOpenFailure openFailure_;
};
