// Boot replies from the line: whatever arrives, SendBootCommand returns one of its results,
// fills exactly count reply bytes on success and nothing else; the decoder alone agrees.
#include "boot/BootFrame.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/ScriptedLink.h"

namespace {

constexpr std::uint8_t kCanary = 0x5A;
constexpr std::size_t kGuard = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFuzzInput in(data, size);
    const std::uint8_t command = in.Byte();
    const std::uint8_t count = in.Byte();
    const auto dataLength = static_cast<std::uint8_t>(in.Between(0, 131));
    const std::vector<std::uint8_t> request = in.Bytes(dataLength);
    const int split = in.Between(1, 64);
    const std::vector<std::uint8_t> line = in.Rest();

    // The decoder on the bytes as they stand.
    {
        std::vector<std::uint8_t> reply(kGuard + count + kGuard, kCanary);
        const std::int32_t r = DecodeBootReply(line.data(), line.size(), count, reply.data() + kGuard);
        FUZZ_CHECK(r == 1 || r == -1);
        for (std::size_t g = 0; g < kGuard; ++g)
            FUZZ_CHECK(reply[g] == kCanary && reply[kGuard + count + g] == kCanary);
        if (r == -1)
            for (std::size_t i = 0; i < count; ++i) FUZZ_CHECK(reply[kGuard + i] == kCanary);
    }

    // A whole exchange, the reply arriving in chunks of split bytes.
    TScriptedLink scripted(500);
    std::vector<std::vector<std::uint8_t>> chunks;
    for (std::size_t at = 0; at < line.size(); at += static_cast<std::size_t>(split))
        chunks.emplace_back(line.begin() + at, line.begin() + std::min(line.size(), at + split));
    scripted.SetScript(chunks);
    std::vector<std::uint8_t> reply(kGuard + count + kGuard, kCanary);
    std::vector<std::uint8_t> payload(request);
    payload.resize(std::max<std::size_t>(1, dataLength));  // an input that ran out pads with zeros
    const std::int32_t r = SendBootCommand(scripted.Link(), command, count, payload.data(), dataLength, 30,
                                           reply.data() + kGuard);
    FUZZ_CHECK(r == 1 || r == -1 || r == 0);
    for (std::size_t g = 0; g < kGuard; ++g)
        FUZZ_CHECK(reply[g] == kCanary && reply[kGuard + count + g] == kCanary);
    if (r != 1)
        for (std::size_t i = 0; i < count; ++i) FUZZ_CHECK(reply[kGuard + i] == kCanary);
    return 0;
}
