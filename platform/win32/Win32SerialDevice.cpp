#include "platform/win32/Win32SerialDevice.h"

#include <utility>

#include "platform/win32/SystemText.h"
#include "platform/win32/WideText.h"

namespace {

constexpr DWORD kWriteTimeoutMs = 30000;
// How long a cancelled write may take to be given back.
constexpr DWORD kCancelWaitMs = 1000;

}  // namespace

TPortOpenFailure TWin32SerialDevice::FailureOf(const std::string& deviceName, DWORD error) {
    TPortOpenFailure failure;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            failure.Reason = TPortOpenFailure::TReason::Missing;
            break;
        case ERROR_ACCESS_DENIED:  // what Windows answers for a COM port open elsewhere
        case ERROR_SHARING_VIOLATION:
            failure.Reason = TPortOpenFailure::TReason::Busy;
            break;
        default:
            failure.Reason = TPortOpenFailure::TReason::Refused;
            break;
    }
    failure.Device = deviceName;
    failure.SystemText = SystemMessage(error);
    return failure;
}

TWin32SerialDevice::TOpenResult TWin32SerialDevice::Open(const std::string& deviceName) {
    TOpenResult result;
    TWin32Handle handle(::CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!handle) {
        result.Failure = FailureOf(deviceName, ::GetLastError());
        return result;
    }
    if (::GetFileType(handle.Get()) != FILE_TYPE_CHAR) {
        result.Failure.Reason = TPortOpenFailure::TReason::NotASerialPort;
        result.Failure.Device = deviceName;
        return result;
    }
    // Windows refuses a second open of a port that is open (sharing mode 0). Wine 8 lets it
    // succeed, so under Wine only the claim of the link keeps two updaters off one port.
    auto write = std::make_unique<TWriteRequest>();
    write->Event.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!write->Event) {
        result.Failure = FailureOf(deviceName, ::GetLastError());
        result.Failure.Reason = TPortOpenFailure::TReason::Refused;
        return result;
    }
    result.Device.reset(new TWin32SerialDevice(std::move(handle), std::move(write)));
    return result;
}

TWin32SerialDevice::TWin32SerialDevice(TWin32Handle handle, std::unique_ptr<TWriteRequest> write)
    : handle_(std::move(handle)), write_(std::move(write)) {}

bool TWin32SerialDevice::WriteAll(const std::uint8_t* data, std::size_t length) {
    if (length == 0) return true;
    if (!write_) return false;  // an earlier write is still the driver's
    OVERLAPPED& request = write_->Overlapped;
    request = OVERLAPPED{};
    request.hEvent = write_->Event.Get();
    ::ResetEvent(request.hEvent);
    DWORD written = 0;
    const DWORD count = static_cast<DWORD>(length);
    if (!::WriteFile(handle_.Get(), data, count, &written, &request)) {
        if (::GetLastError() != ERROR_IO_PENDING) return false;
        if (::WaitForSingleObject(request.hEvent, kWriteTimeoutMs) != WAIT_OBJECT_0) {
            // The request must be over before its memory is used again.
            ::CancelIoEx(handle_.Get(), &request);
            if (::WaitForSingleObject(request.hEvent, kCancelWaitMs) == WAIT_OBJECT_0) {
                ::GetOverlappedResult(handle_.Get(), &request, &written, FALSE);
            } else {
                // A driver that never gives the request back may still write into it.
                [[maybe_unused]] TWriteRequest* leftToTheDriver = write_.release();
            }
            return false;
        }
        if (!::GetOverlappedResult(handle_.Get(), &request, &written, FALSE)) return false;
    }
    return written == count && count == length;
}

void TWin32SerialDevice::Purge(unsigned what) {
    DWORD flags = 0;
    if (what & kPurgeRx) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (what & kPurgeTx) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    if (flags != 0) ::PurgeComm(handle_.Get(), flags);
}

std::uint32_t TWin32SerialDevice::ApplyLineSettings(const TLineSettings& settings) {
    // Each step is best effort: a setting the port refuses does not stop the others.
    DWORD errors = 0;
    ::ClearCommError(handle_.Get(), &errors, nullptr);

    DCB state{};
    state.DCBlength = sizeof state;
    if (!::GetCommState(handle_.Get(), &state)) {
        // Nothing to keep: start from the usual defaults of a port (DTR and RTS on, no flow
        // control). Wine 8 fails here when the line runs at a rate it has no name for, as a
        // pseudo-terminal whose other end set an arbitrary rate does.
        state = DCB{};
        state.DCBlength = sizeof state;
        state.fDtrControl = DTR_CONTROL_ENABLE;
        state.fRtsControl = RTS_CONTROL_ENABLE;
        state.XonChar = 0x11;
        state.XoffChar = 0x13;
    }
    COMMTIMEOUTS timeouts{};
    ::GetCommTimeouts(handle_.Get(), &timeouts);

    // A read that has bytes completes once 1 ms passes without another; a read without
    // bytes waits without limit; writes have no time-out.
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    ::SetCommTimeouts(handle_.Get(), &timeouts);

    state.BaudRate = settings.BaudRate;
    state.ByteSize = settings.DataBits;
    state.Parity = static_cast<BYTE>(settings.Parity);
    state.StopBits = static_cast<BYTE>(settings.StopBits);
    // Binary bytes both ways: XON and XOFF are data here, as on Linux.
    state.fOutX = FALSE;
    state.fInX = FALSE;
    state.fBinary = TRUE;
    // A line error must not stop reception: the receive thread clears it and reads on.
    state.fAbortOnError = FALSE;
    ::SetCommState(handle_.Get(), &state);
    // What the driver runs at now. Wine 8 replaces a rate that is not one of the standard
    // ones by 38400 without failing; the caller can see that here.
    DCB actual{};
    actual.DCBlength = sizeof actual;
    if (!::GetCommState(handle_.Get(), &actual)) return 0;
    return actual.BaudRate;
}
