#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/PortFactory.h"
#include "platform/LineSettings.h"
#include "platform/MessageLoop.h"
#include "platform/SerialDevice.h"

// An in-memory serial device for tests on the virtual clock. It records what the link
// writes (one frame per WriteAll, with the loop's time), the line settings applied and the
// purges, and lets a test or a scripted peer make bytes arrive at chosen times.
//
// Arrival works as on a real port: bytes that arrive while a receiver runs are posted to
// the receiver's loop as chunks of at most 16384 bytes (in flight until the loop dispatches
// them); bytes that arrive with no receiver running are held, as a driver holds them, until
// a receiver starts or a receive purge discards them; bytes arriving at a closed device are
// lost.
class TMemorySerialDevice : public TSerialDevice {
public:
    using TWriteHook = std::function<void(const std::vector<std::uint8_t>&)>;
    struct TWrite {
        std::vector<std::uint8_t> Bytes;
        std::uint32_t TimeMs = 0;
    };
    static constexpr std::size_t kMaxChunk = 16384;

    TMemorySerialDevice(TMessageLoop& loop, std::string portName);
    ~TMemorySerialDevice() override;
    TMemorySerialDevice(const TMemorySerialDevice&) = delete;
    TMemorySerialDevice& operator=(const TMemorySerialDevice&) = delete;

    // TSerialDevice. WriteAll records the frame, then hands it to the write hook.
    bool WriteAll(const std::uint8_t* data, std::size_t length) override;
    void Purge(unsigned what) override;
    std::uint32_t ApplyLineSettings(const TLineSettings& settings) override;

    // Called with every frame written, after it was recorded; a scripted peer answers from
    // here with Deliver.
    void OnWrite(TWriteHook hook) { writeHook_ = std::move(hook); }
    // Makes bytes arrive delayMs from now (0: at once).
    void Deliver(std::vector<std::uint8_t> bytes, std::uint32_t delayMs = 0);

    const std::string& PortName() const { return portName_; }
    const std::vector<TWrite>& Writes() const { return writes_; }
    // Every byte written, frames concatenated.
    std::vector<std::uint8_t> Written() const;
    const std::vector<TLineSettings>& AppliedSettings() const { return applied_; }
    // The settings last applied, the defaults before any.
    TLineSettings CurrentSettings() const;
    const std::vector<unsigned>& Purges() const { return purges_; }
    // Bytes that arrived while no receiver ran and were not purged yet.
    const std::vector<std::uint8_t>& HeldBytes() const { return held_; }
    bool IsOpen() const { return open_; }
    bool ReceiverRunning() const { return static_cast<bool>(receiver_); }

    // Faults: writes fail (nothing recorded, nothing reaches the peer); ApplyLineSettings
    // reports this rate instead of the one asked for (0: reports the one asked for).
    void SetWriteFails(bool fails) { writeFails_ = fails; }
    void SetReportedBaudRate(std::uint32_t rate) { reportedBaudRate_ = rate; }

    // Closing is done by whoever owns the open handle; a closed device accepts nothing.
    void MarkClosed();
    // The receiver of this device posts chunks to loop and hands them to handler there.
    void AttachReceiver(TMessageLoop& loop, TChunkHandler handler);
    void DetachReceiver();

private:
    void Arrive(std::vector<std::uint8_t> bytes);

    TMessageLoop& loop_;
    std::string portName_;
    bool open_ = true;
    bool writeFails_ = false;
    std::uint32_t reportedBaudRate_ = 0;
    TWriteHook writeHook_;
    std::vector<TWrite> writes_;
    std::vector<TLineSettings> applied_;
    std::vector<unsigned> purges_;
    std::vector<std::uint8_t> held_;
    TMessageLoop* receiverLoop_ = nullptr;
    // Shared with posted chunks: a chunk carries the handler it was read for.
    std::shared_ptr<TChunkHandler> receiver_;
    // Delayed arrivals hold a weak reference, so they do nothing once the object is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
