#include "sim/SimStatistics.h"

#include <sstream>

std::string TSimStatistics::Format() const {
    std::ostringstream out;
    auto line = [&out](const char* name, auto value) { out << name << '=' << +value << '\n'; };
    line("wrong_line_bytes", WrongLineBytes);
    line("exchanges", Exchanges);
    line("modbus_reads", ModbusReads);
    line("modbus_writes", ModbusWrites);
    line("modbus_write_multiples", ModbusWriteMultiples);
    line("modbus_broadcasts", ModbusBroadcasts);
    line("modbus_exceptions", ModbusExceptions);
    line("modbus_bad_crc", ModbusBadCrc);
    line("modbus_other_slave", ModbusOtherSlave);
    line("modbus_incomplete", ModbusIncomplete);
    line("boot_entries", BootEntries);
    line("commits", Commits);
    line("boot_read_model", BootReadModel);
    line("boot_read_info", BootReadInfo);
    line("boot_erases", BootErases);
    line("boot_writes", BootWrites);
    line("boot_clear_flag", BootClearFlag);
    line("boot_restarts", BootRestarts);
    line("boot_bad_checksum", BootBadChecksum);
    line("boot_malformed", BootMalformed);
    line("boot_spoiled_frames", BootSpoiledFrames);
    line("refused_erases", RefusedErases);
    line("refused_writes", RefusedWrites);
    line("writes_over_programmed", WritesOverProgrammed);
    line("fault_corrupted", FaultCorrupted);
    line("fault_dropped", FaultDropped);
    line("fault_delayed", FaultDelayed);
    line("fault_noise", FaultNoise);
    line("fault_failed", FaultFailed);
    line("power_losses", PowerLosses);
    line("hung_up", HungUp ? 1 : 0);
    return out.str();
}
