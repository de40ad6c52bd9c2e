#pragma once

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <thread>
#include <vector>

// Byte I/O on non-blocking descriptors for tests over pseudo-terminals.
using TBytes = std::vector<std::uint8_t>;

// Writes all bytes, waiting for room; false on an error or 5 s without room.
inline bool WriteFully(int fd, const TBytes& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        pollfd room{fd, POLLOUT, 0};
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EAGAIN || ::poll(&room, 1, 5000) != 1)
            return false;
    }
    return true;
}

// Reads until count bytes came or nothing arrived for idleMs.
inline TBytes ReadBytes(int fd, std::size_t count, int idleMs = 5000) {
    TBytes got;
    std::uint8_t buffer[4096];
    pollfd ready{fd, POLLIN, 0};
    while (got.size() < count && ::poll(&ready, 1, idleMs) > 0) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0 && (n == 0 || errno != EAGAIN)) break;
        got.insert(got.end(), buffer, buffer + std::max<ssize_t>(n, 0));
    }
    return got;
}

// Entries of a directory such as /proc/self/fd or /proc/self/task.
inline std::size_t CountEntries(const char* directory) {
    using std::filesystem::directory_iterator;
    return static_cast<std::size_t>(std::distance(directory_iterator(directory), directory_iterator()));
}

// The entries of such a directory once they have fallen to at most `most`, or after 2 s. A
// leak only adds; but a joined thread can stay listed in /proc/self/task for a moment after
// the join returned, and a thread of an earlier test may still be ending.
inline std::size_t CountSettledEntries(const char* directory, std::size_t most) {
    const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::size_t count = CountEntries(directory);
    while (count > most && std::chrono::steady_clock::now() < settled) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = CountEntries(directory);
    }
    return count;
}
