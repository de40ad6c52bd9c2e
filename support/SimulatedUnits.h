#pragma once

#include <signal.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/TestPortsDirectory.h"

// Units of a batch test: unitsim processes on COM1 to COMn of a ports directory of the
// test's own, each dumping its flash to a file of the work directory, and the image of the
// test's own they are to be upgraded with (written there as image.bin).
class TSimulatedUnits {
public:
    // seed makes the image's bytes: each test file has an image of its own.
    explicit TSimulatedUnits(unsigned seed) {
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>((i * (seed | 1) + seed) % 251);
        work.Write("image.bin", image);
    }

    // Starts COM1 to COMcount; extra[port] goes to that unit's command line. Returns each
    // unit's pseudo-terminal, or an empty list when a unit did not come up as it should.
    std::vector<std::string> Start(unsigned count, std::map<unsigned, std::vector<std::string>> extra = {}) {
        std::vector<std::string> devices;
        for (unsigned port = 1; port <= count; ++port) {
            std::vector<std::string> args = {"--ports-dir",        ports.Path().string(), "--port",
                                             std::to_string(port), "--flash-dump",        FlashPath(port)};
            args.insert(args.end(), extra[port].begin(), extra[port].end());
            units.push_back(std::make_unique<TChildProcess>("unitsim", args));
            const std::string ready = units.back()->ReadLine();
            const std::string expected = "unitsim: COM" + std::to_string(port) + " -> ";
            if (ready.rfind(expected, 0) != 0) return {};
            devices.push_back(ready.substr(expected.size()));
        }
        return devices;
    }

    std::string FlashPath(unsigned port) const { return work.File("flash" + std::to_string(port) + ".bin"); }

    // Ends the unit and tells whether its flash holds the image above the boot loader.
    bool FlashHoldsImage(unsigned port) {
        units[port - 1]->Signal(SIGTERM);
        units[port - 1]->Wait();
        const std::string flash = TTempDir::Read(FlashPath(port));
        return flash.size() == image.size() && flash.substr(2048) == image.substr(2048);
    }

    TTestPortsDirectory ports;
    TTempDir work;
    std::string image = std::string(65536, '\0');
    std::vector<std::unique_ptr<TChildProcess>> units;
};
