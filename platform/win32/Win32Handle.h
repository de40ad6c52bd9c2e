#pragma once

#include <windows.h>

#include <utility>

// Owns a kernel handle (an event, a thread, a port) and closes it when it goes. Both ways
// the system spells "no handle", null and INVALID_HANDLE_VALUE, read as empty.
class TWin32Handle {
public:
    TWin32Handle() = default;
    explicit TWin32Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~TWin32Handle() { Reset(); }
    TWin32Handle(TWin32Handle&& other) noexcept : handle_(other.Release()) {}
    TWin32Handle& operator=(TWin32Handle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TWin32Handle(const TWin32Handle&) = delete;
    TWin32Handle& operator=(const TWin32Handle&) = delete;

    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // Gives the handle up without closing it.
    HANDLE Release() { return std::exchange(handle_, nullptr); }

    // Closes the handle now; false when the system reports the close failed (for a file
    // written to, that can be the write's failure). Empty afterwards.
    bool Close() {
        const HANDLE handle = Release();
        return handle == nullptr || ::CloseHandle(handle) != 0;
    }

    // Closes the handle held, if any, and takes the one given.
    void Reset(HANDLE handle = nullptr) {
        if (handle == INVALID_HANDLE_VALUE) handle = nullptr;
        if (handle_ != nullptr && handle_ != handle) ::CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};
