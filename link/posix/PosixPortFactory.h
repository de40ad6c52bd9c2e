#pragma once

#include <memory>
#include <string>

#include "link/PortFactory.h"
#include "platform/PortResolver.h"

// Real serial devices: port names resolved through the ports directory, devices opened
// exclusively, reception by a TRxThread.
class TPosixPortFactory : public TPortFactory {
public:
    // baseDirectory holds the default ports directory ("ports" in it): the directory of
    // the settings file.
    explicit TPosixPortFactory(std::string baseDirectory);

    // A factory that opens the one device at devicePath whatever port is asked for, with
    // the same exclusive opening and checks (the headless runner's --device).
    static std::shared_ptr<TPosixPortFactory> ForDevice(std::string devicePath);

    std::unique_ptr<TSerialDevice> OpenDevice(const std::string& portName) override;

    // The device must be one this factory opened (or another with a pollable descriptor)
    // and must stay open until the returned receiver is destroyed.
    std::unique_ptr<TReceiver> StartReceiver(TSerialDevice& device, TMessageLoop& loop,
                                             TChunkHandler onChunk) override;

    const TPortResolver& Resolver() const { return resolver_; }

private:
    TPortResolver resolver_;
    std::string devicePath_;
};
