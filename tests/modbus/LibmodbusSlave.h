#pragma once

#include <modbus.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// An independent Modbus RTU slave: the system's libmodbus serving a block of holding
// registers on a serial device path, on a thread of its own. Requests for other slave
// addresses go unanswered; requests outside the block get libmodbus's exception replies.
class TLibmodbusSlave {
public:
    // Throws std::runtime_error when libmodbus cannot open the device.
    TLibmodbusSlave(const std::string& devicePath, int slave, int registers);
    ~TLibmodbusSlave();
    TLibmodbusSlave(const TLibmodbusSlave&) = delete;
    TLibmodbusSlave& operator=(const TLibmodbusSlave&) = delete;

    std::uint16_t Register(int index) const;
    void SetRegister(int index, std::uint16_t value);
    // Requests answered so far.
    int Replies() const { return replies_; }

private:
    void Serve();

    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    mutable std::mutex mutex_;  // guards mapping_ between the serving thread and the test
    std::atomic<bool> stop_{false};
    std::atomic<int> replies_{0};
    std::thread thread_;
};
