// Modbus read replies from the line: a result of the transaction, and register values
// written only on success and never past the caller's array.
#include "fuzz/FuzzInput.h"
#include "fuzz/ScriptedLink.h"
#include "modbus/ModBusPro.h"

namespace {

constexpr std::uint16_t kCanary = 0xC3A5;
constexpr std::size_t kGuard = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFuzzInput in(data, size);
    const std::uint8_t slave = in.Byte();
    const std::uint16_t reg = in.Word();
    const auto count = static_cast<std::uint16_t>(in.Between(0, kModbusMaxRegisters));
    const auto room = static_cast<std::size_t>(in.Between(0, 130));  // the caller's array
    const auto rxSize = static_cast<std::uint16_t>(in.Flag() ? 500 : in.Between(1, 600));
    const int split = in.Between(1, 64);
    const std::vector<std::uint8_t> line = in.Rest();

    TScriptedLink scripted(rxSize);
    std::vector<std::vector<std::uint8_t>> chunks;
    for (std::size_t at = 0; at < line.size(); at += static_cast<std::size_t>(split))
        chunks.emplace_back(line.begin() + at, line.begin() + std::min(line.size(), at + split));
    scripted.SetScript(chunks);

    std::vector<std::uint16_t> values(kGuard + room + kGuard, kCanary);
    const std::int32_t r = ModbusReadRegisters(scripted.Link(), slave, 3, reg, count, 20,
                                               std::span<std::uint16_t>(values.data() + kGuard, room));
    FUZZ_CHECK(r == 1 || r == 2 || r == 0 || r == -1);
    for (std::size_t g = 0; g < kGuard; ++g)
        FUZZ_CHECK(values[g] == kCanary && values[kGuard + room + g] == kCanary);
    if (r != 1)
        for (std::size_t i = 0; i < room; ++i) FUZZ_CHECK(values[kGuard + i] == kCanary);
    return 0;
}
