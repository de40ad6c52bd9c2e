// The file operations on POSIX calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/FileSystem.h"

namespace {

class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd_(fd) {}
    ~TDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAllBytes(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

TFileReadOutcome ReadFileBytes(const std::string& path, std::string& content, std::size_t maxLength) {
    content.clear();
    TDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? TFileReadOutcome::Missing : TFileReadOutcome::Failed;
    char buffer[4096];
    while (content.size() < maxLength) {
        const std::size_t want = std::min(sizeof buffer, maxLength - content.size());
        const ssize_t n = ::read(fd.Get(), buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return TFileReadOutcome::Failed;  // a directory opens but does not read
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    return TFileReadOutcome::Read;
}

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target = path;
    std::optional<mode_t> mode;
    if (struct stat st{}; ::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;

    std::filesystem::path temporary;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        temporary = target;
        temporary.replace_filename("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) +
                                   "-" + std::to_string(counter++));
        rawFd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) return false;
    }
    if (rawFd < 0) return false;
    TDescriptor fd(rawFd);
    bool ok = WriteAllBytes(fd.Get(), content);
    if (ok && mode) ::fchmod(fd.Get(), *mode);  // best effort: keep the original's permissions
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool RegularFileSize(const std::string& path, std::uint64_t& size) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.string();
}

std::string CurrentDirectory() {
    std::string dir = std::filesystem::current_path().string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}
