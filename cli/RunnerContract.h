#pragma once

#include <cstdint>
#include <string>

#include "upgrade/SettingsRestoreOutcome.h"

// What scripts and production lines may rely on from the headless programs: their exit
// statuses, the port numbers they take and the image files they accept.

constexpr int kExitCompleted = 0;
// The upgrade stopped at a failure.
constexpr int kExitFailed = 1;
// Usage or start-up error: bad option, image file, package, settings file or port.
constexpr int kExitUsage = 2;
// The upgrade ran to its last step, but the settings carried across it could not all be
// written back: the unit runs its new firmware with (some) factory settings.
constexpr int kExitSettingsNotRestored = 3;

// Port numbers a command line may give: COM1 to COM256, every port the one-byte port
// index can name. The settings file keeps its own rule (any number, wrapped to that byte).
constexpr std::int32_t kLowestPortNumber = 1;
constexpr std::int32_t kHighestPortNumber = 256;
bool PortNumberInRange(std::int32_t number);

// Why an image file given on the command line cannot be used, or empty when it can: it
// must be a regular file of exactly 65536 bytes, as the build demands of the image it
// embeds. Looks at the path with stat only, so a FIFO or a terminal does not block.
std::string ImageFileProblem(const std::string& path);

// The exit status of an upgrade that has ended.
int UpgradeExitStatus(bool completed, const TSettingsRestoreOutcome& restore);

// For standard error when the write-back failed: which write, and with what result.
std::string SettingsNotRestoredMessage(const TSettingsRestoreOutcome& restore);
