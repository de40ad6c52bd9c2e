#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/MessageLoop.h"
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

// How the link reaches devices. The link uses the POSIX factory unless it is given
// another one (tests give an in-memory one).
class TPortFactory {
public:
    virtual ~TPortFactory() = default;

    // Opens the device named by the port name rule ("COM1", "\\.\COM10", ...), exclusively.
    // Returns nullptr when it is missing, busy or refused. Throws ECommsError
    // "File Handle is not a Comm Handle." when it opened but is not a terminal.
    virtual std::unique_ptr<TSerialDevice> OpenDevice(const std::string& portName) = 0;

    // Starts delivering the device's received bytes as chunks: each chunk is posted to
    // loop and handed to onChunk there. Returns nullptr when reception cannot be started.
    virtual std::unique_ptr<TReceiver> StartReceiver(TSerialDevice& device, TMessageLoop& loop,
                                                     TChunkHandler onChunk) = 0;
};
