#pragma once

#include <memory>
#include <string>

#include "link/PortFactory.h"
#include "platform/PortResolver.h"

// Real serial devices: port names resolved through the ports directory, devices opened
// exclusively, reception by a TRxThread.
//
// A claim keeps the descriptor of its first open, with its flock and the terminal's
// exclusive mode, until the claim ends: every later open of the claim is that same open
// file, the device the name led to at the first open, and no other process can take the
// device in between. The name is not resolved again, so a ports-directory entry that now
// leads elsewhere, or nowhere, changes nothing. A claimed device that has gone (hung up)
// does not open again. What the wire sees stays as a real close and open show it: see
// TPosixSerialDevice::ShowCloseOnLine.
class TPosixPortFactory : public TPortFactory {
public:
    // baseDirectory holds the default ports directory ("ports" in it): the directory of
    // the settings file.
    explicit TPosixPortFactory(std::string baseDirectory);

    // A factory that opens the one device at devicePath whatever port is asked for, with
    // the same exclusive opening and checks (the headless runner's --device).
    static std::shared_ptr<TPosixPortFactory> ForDevice(std::string devicePath);

    std::unique_ptr<TPortClaim> Claim(const std::string& portName, TPortOpenFailure& why) override;

private:
    TPortResolver resolver_;
    std::string devicePath_;
};
