#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

// The few file operations the program needs, on each platform's own calls. Paths are UTF-8
// text on every platform (on Windows they go to the wide-character calls, so names outside
// the system's code page keep working). Contents are bytes: nothing translates line ends.

enum class TFileReadOutcome { Read, Missing, Failed };

// Reads at most maxLength bytes from the start of the file into content (replacing it).
// Missing: no file or directory of that name; Failed: it exists but cannot be read (a
// directory, no permission, a read error).
TFileReadOutcome ReadFileBytes(const std::string& path, std::string& content,
                               std::size_t maxLength = std::numeric_limits<std::size_t>::max());

// Replaces the file's content as one step: the bytes go to a fresh file beside it, which
// is flushed to disk and then put in its place, so a failure never leaves a shortened or
// mixed file behind. An existing file keeps its permissions where the platform has them.
// False when any step fails (the original is then untouched).
bool ReplaceFileContent(const std::string& path, std::string_view content);

// True when something of that name exists.
bool PathExists(const std::string& path);

// True when the path names a regular file (links followed); its size goes to size. Looks
// only at the file's entry: a FIFO, a terminal or a device is reported without opening it.
bool RegularFileSize(const std::string& path, std::uint64_t& size);

// The path made absolute against the current directory (unchanged when that fails).
std::string AbsolutePath(const std::string& path);

// The current directory followed by the platform's path separator.
std::string CurrentDirectory();
