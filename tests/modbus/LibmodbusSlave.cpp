#include "tests/modbus/LibmodbusSlave.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

TLibmodbusSlave::TLibmodbusSlave(const std::string& devicePath, int slave, int registers) {
    context_ = modbus_new_rtu(devicePath.c_str(), 9600, 'N', 8, 1);
    mapping_ = modbus_mapping_new(0, 0, registers, 0);
    if (context_ == nullptr || mapping_ == nullptr || modbus_set_slave(context_, slave) != 0 ||
        modbus_connect(context_) != 0) {
        const std::string reason = modbus_strerror(errno);
        if (context_ != nullptr) modbus_free(context_);
        if (mapping_ != nullptr) modbus_mapping_free(mapping_);
        throw std::runtime_error("libmodbus slave on " + devicePath + ": " + reason);
    }
    // Bounded waits for a request, so that the thread sees the stop flag.
    modbus_set_indication_timeout(context_, 0, 50000);
    // Having ignored a request for another slave, libmodbus listens for that slave's reply
    // for its response timeout, and would take the next request for it; keep that short.
    modbus_set_response_timeout(context_, 0, 100000);
    thread_ = std::thread([this] { Serve(); });
}

TLibmodbusSlave::~TLibmodbusSlave() {
    stop_ = true;
    thread_.join();
    modbus_close(context_);
    modbus_free(context_);
    modbus_mapping_free(mapping_);
}

std::uint16_t TLibmodbusSlave::Register(int index) const {
    std::lock_guard lock(mutex_);
    return mapping_->tab_registers[index];
}

void TLibmodbusSlave::SetRegister(int index, std::uint16_t value) {
    std::lock_guard lock(mutex_);
    mapping_->tab_registers[index] = value;
}

void TLibmodbusSlave::Serve() {
    std::uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
        const int length = modbus_receive(context_, request);
        if (length <= 0) continue;  // timeout, a damaged request, or one for another slave
        std::lock_guard lock(mutex_);
        if (modbus_reply(context_, request, length, mapping_) > 0) ++replies_;
    }
}
