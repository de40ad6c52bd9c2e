#include "link/ChunkPost.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// A task must be copyable; the holder keeps the block owned until the task runs.
struct TChunkHolder {
    std::unique_ptr<std::uint8_t[]> Block;
};

}  // namespace

bool PostChunk(TMessageLoop& loop, const std::shared_ptr<const TChunkHandler>& handler,
               const std::uint8_t* bytes, std::size_t n) {
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[n + 1]);
    if (!block) return false;
    std::memcpy(block.get(), bytes, n);
    block[n] = 0;
    auto holder = std::make_shared<TChunkHolder>(TChunkHolder{std::move(block)});
    const auto length = static_cast<std::uint16_t>(n);
    return loop.Post(
        [handler, holder = std::move(holder), length] { (*handler)(std::move(holder->Block), length); });
}
