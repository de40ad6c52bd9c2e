#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "link/PortFactory.h"
#include "platform/MessageLoop.h"
#include "support/MemorySerialDevice.h"

// Port access for tests: ports are in-memory devices named as the link names them
// ("COM1", "\\.\COM10"). Every successful open of a claim makes a new TMemorySerialDevice;
// the factory keeps each one (so a test can look at a device after the link closed it) and
// hands the link a handle whose destruction closes the device.
//
// What a test can make a port do: be present or missing (Claim returns nullptr, and a
// claimed port that goes missing does not open again), be no terminal (Claim throws), be
// busy while it is claimed (nullptr, as exclusive opening), refuse to start a receiver
// (StartReceiver returns nullptr).
//
// A peer (a scripted answerer, the simulated unit) is wired to a port, not to a device,
// so it keeps answering when the link closes and reopens the port.
class TMemoryPortFactory : public TPortFactory {
public:
    explicit TMemoryPortFactory(TMessageLoop& loop);

    std::unique_ptr<TPortClaim> Claim(const std::string& portName, TPortOpenFailure& why) override;

    void AddPort(const std::string& portName);
    // From now on the name leads to the port toPort (a claim made before keeps its port),
    // as a port name passes to another device when an adapter re-enumerates.
    void Redirect(const std::string& portName, const std::string& toPort) { redirects_[portName] = toPort; }
    void RemovePort(const std::string& portName);
    // The port opens but is no terminal: Claim throws "File Handle is not a Comm Handle.".
    void SetNotTerminal(const std::string& portName, bool notTerminal = true);
    void SetReceiverFails(bool fails) { receiverFails_ = fails; }
    // Rate reported by devices opened on the port afterwards (0: the rate asked for).
    void SetReportedBaudRate(const std::string& portName, std::uint32_t rate);

    // The peer of a port: called with every frame written to any device opened on it.
    void OnWrite(const std::string& portName, TMemorySerialDevice::TWriteHook hook);
    // Bytes arriving at the port's open device; lost when the port is not open.
    void Deliver(const std::string& portName, std::vector<std::uint8_t> bytes, std::uint32_t delayMs = 0);

    // The device last opened on the port (open or closed), or nullptr.
    std::shared_ptr<TMemorySerialDevice> Device(const std::string& portName) const;
    // Every device opened on the port, oldest first.
    std::vector<std::shared_ptr<TMemorySerialDevice>> Devices(const std::string& portName) const;
    // Every name Claim was asked for, in order, whatever the outcome.
    const std::vector<std::string>& Requests() const { return requests_; }
    // Receivers started and not yet stopped.
    int RunningReceivers() const { return *runningReceivers_; }

    // True while a claim of the port lives.
    bool Claimed(const std::string& portName) const { return claimed_.count(portName) != 0; }

private:
    class TOpenHandle;
    class TMemoryClaim;
    std::unique_ptr<TPortDevice> OpenOn(const std::string& portName);

    TMessageLoop& loop_;
    std::set<std::string> claimed_;
    std::map<std::string, std::string> redirects_;
    std::set<std::string> present_;
    std::set<std::string> notTerminal_;
    std::map<std::string, std::uint32_t> reportedRates_;
    bool receiverFails_ = false;
    std::map<std::string, std::shared_ptr<TMemorySerialDevice::TWriteHook>> peers_;
    std::map<std::string, std::vector<std::shared_ptr<TMemorySerialDevice>>> devices_;
    std::vector<std::string> requests_;
    std::shared_ptr<int> runningReceivers_ = std::make_shared<int>(0);
};
