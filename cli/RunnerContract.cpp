#include "cli/RunnerContract.h"

#include "package/FirmwareImage.h"
#include "platform/FileSystem.h"

bool PortNumberInRange(std::int32_t number) {
    return number >= kLowestPortNumber && number <= kHighestPortNumber;
}

std::string ImageFileProblem(const std::string& path) {
    std::uint64_t size = 0;
    if (!PathExists(path)) return "Cannot open file " + path;
    if (!RegularFileSize(path, size)) return "the image file " + path + " is not a regular file";
    if (size != FirmwareImage::kImageSize) {
        // A shorter file would leave the rest of the embedded image in place: the unit
        // would get a mix of two images.
        return "the image file " + path + " holds " + std::to_string(size) + " bytes; it must hold exactly " +
               std::to_string(FirmwareImage::kImageSize);
    }
    return {};
}

int UpgradeExitStatus(bool completed, const TSettingsRestoreOutcome& restore) {
    if (!completed) return kExitFailed;
    return restore.Failed() ? kExitSettingsNotRestored : kExitCompleted;
}

std::string SettingsNotRestoredMessage(const TSettingsRestoreOutcome& restore) {
    return "upgraded, but the settings were not restored: the write to " + restore.FailedWrite() +
           " failed with result " + restore.ResultText();
}
