#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/MessageLoop.h"
#include "platform/PortOpenFailure.h"
#include "platform/SerialDevice.h"

// A chunk of received bytes, delivered on the user-interface thread: the block holds
// length bytes followed by a zero byte, and the handler owns it.
using TChunkHandler = std::function<void(std::unique_ptr<std::uint8_t[]> block, std::uint16_t length)>;

// Keeps received chunks flowing from a device to the user-interface thread.
// Destroying it stops reception and returns only when that has ended.
class TReceiver {
public:
    virtual ~TReceiver() = default;
};

// An open device as the link uses it: the device, and the receiver its platform pairs with
// it. Each platform's port type starts its own receive thread on what it knows of its own
// device (a descriptor, a handle), so nothing has to recover that from the general type.
// Destroying it closes this open of the device.
class TPortDevice : public TSerialDevice {
public:
    // Starts delivering the device's received bytes as chunks: each chunk is posted to loop
    // and handed to onChunk there. nullptr when reception cannot be started. The device
    // must stay open until the returned receiver is destroyed.
    virtual std::unique_ptr<TReceiver> StartReceiver(TMessageLoop& loop, TChunkHandler onChunk) = 0;
};

// A port as its first open found it: the device the name led to then, held for this
// program against every other instance of the updater for as long as the claim lives,
// whether an open of it is in progress or not. Every open made through the claim opens that
// same device or fails; the port name is never looked at again. Destroying the claim gives
// the device up; no open made through it may still be alive then.
class TPortClaim {
public:
    virtual ~TPortClaim() = default;

    // Opens the claimed device. One open at a time: the previous one must have been
    // destroyed. nullptr when the device has gone (an adapter pulled) or refuses the open,
    // and why then in why.
    virtual std::unique_ptr<TPortDevice> Open(TPortOpenFailure& why) = 0;
};

// How the link reaches devices: the system's own ports (SystemPortFactory.h), or another
// kind that a test or a benchmark gives.
class TPortFactory {
public:
    virtual ~TPortFactory() = default;

    // Finds the device named by the port name rule ("COM1", "\\.\COM10", ...) and claims it
    // exclusively. Returns nullptr when it is missing, busy or refused, and why then in why
    // (another instance of the updater holding the port is busy). Throws ECommsError "File
    // Handle is not a Comm Handle." when it opened but is not a terminal.
    virtual std::unique_ptr<TPortClaim> Claim(const std::string& portName, TPortOpenFailure& why) = 0;
};
