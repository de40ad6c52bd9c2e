#include "link/win32/Win32PortFactory.h"

#include <cctype>
#include <utility>

#include "link/CommsError.h"
#include "link/win32/Win32RxThread.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32SerialDevice.h"

namespace {

// How long a claim asks again for a port another instance holds, and how often.
constexpr DWORD kBusyPatienceMs = 500;
constexpr DWORD kBusyRetryMs = 10;

// One open of a claimed port; destroying it closes the port's handle.
class TWin32PortDevice : public TPortDevice {
public:
    explicit TWin32PortDevice(std::unique_ptr<TWin32SerialDevice> device) : device_(std::move(device)) {}

    bool WriteAll(const std::uint8_t* data, std::size_t length) override {
        return device_->WriteAll(data, length);
    }
    void Purge(unsigned what) override { device_->Purge(what); }
    std::uint32_t ApplyLineSettings(const TLineSettings& settings) override {
        return device_->ApplyLineSettings(settings);
    }
    std::unique_ptr<TReceiver> StartReceiver(TMessageLoop& loop, TChunkHandler onChunk) override {
        return TWin32RxThread::Start(device_->Handle(), loop, std::move(onChunk));
    }

private:
    std::unique_ptr<TWin32SerialDevice> device_;
};

class TWin32PortClaim : public TPortClaim {
public:
    TWin32PortClaim(TWin32Handle hold, std::string deviceName, std::unique_ptr<TWin32SerialDevice> first)
        : hold_(std::move(hold)), deviceName_(std::move(deviceName)), first_(std::move(first)) {}

    std::unique_ptr<TPortDevice> Open(TPortOpenFailure& why) override {
        std::unique_ptr<TWin32SerialDevice> device = std::move(first_);
        if (!device) {
            // A name that now opens something else than a port is not the claimed device.
            TWin32SerialDevice::TOpenResult opened = TWin32SerialDevice::Open(deviceName_);
            if (!opened.Device) {
                why = std::move(opened.Failure);
                return nullptr;
            }
            device = std::move(opened.Device);
        }
        return std::make_unique<TWin32PortDevice>(std::move(device));
    }

private:
    TWin32Handle hold_;
    std::string deviceName_;
    // The open that the claim made, handed to the first Open.
    std::unique_ptr<TWin32SerialDevice> first_;
};

}  // namespace

std::shared_ptr<TWin32PortFactory> TWin32PortFactory::ForDevice(std::string deviceName) {
    auto factory = std::make_shared<TWin32PortFactory>();
    factory->deviceName_ = std::move(deviceName);
    return factory;
}

std::wstring TWin32PortFactory::ClaimObjectName(const std::string& deviceName) {
    // "\\.\COM3" and "com3" are one device. A backslash cannot be part of an object's name.
    std::string name = deviceName;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    std::wstring object = L"Global\\BootloaderPort.";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        object += c == '\\' ? L'/' : static_cast<wchar_t>(std::toupper(u));
    }
    return object;
}

std::unique_ptr<TPortClaim> TWin32PortFactory::Claim(const std::string& portName, TPortOpenFailure& why) {
    const std::string deviceName = deviceName_.empty() ? portName : deviceName_;
    // The object exists as long as one handle to it is open: made here, it is this claim's;
    // found existing, another instance holds the port, which is then busy. An instance that
    // has just ended may leave it behind for a moment (Wine closes a dead process's handles
    // only once its server has seen the end), so a busy port is asked again for a while.
    const std::wstring objectName = ClaimObjectName(deviceName);
    TWin32Handle hold;
    for (DWORD waited = 0;; waited += kBusyRetryMs) {
        ::SetLastError(ERROR_SUCCESS);
        hold.Reset(::CreateEventW(nullptr, TRUE, FALSE, objectName.c_str()));
        if (!hold) {
            why = TWin32SerialDevice::FailureOf(deviceName, ::GetLastError());
            why.Reason = TPortOpenFailure::TReason::Refused;
            return nullptr;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
        hold.Reset();
        if (waited >= kBusyPatienceMs) {
            why = TPortOpenFailure{
                TPortOpenFailure::TReason::Busy, deviceName, {}, "another instance of the updater"};
            return nullptr;
        }
        ::Sleep(kBusyRetryMs);
    }
    TWin32SerialDevice::TOpenResult opened = TWin32SerialDevice::Open(deviceName);
    if (opened.Failure.Reason == TPortOpenFailure::TReason::NotASerialPort)
        throw ECommsError("File Handle is not a Comm Handle.");
    if (!opened.Device) {
        why = std::move(opened.Failure);
        return nullptr;
    }
    return std::make_unique<TWin32PortClaim>(std::move(hold), deviceName, std::move(opened.Device));
}
