#include "station/StationReport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

TStationReport::TStationReport(const std::string& path) {
    // Read too, for the last byte before each line. Not blocking on a FIFO without a
    // reader; what is not a regular file is refused below.
    const int flags = O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    fd_ = ::open(path.c_str(), O_RDWR | flags, 0644);
    // A file this process may only write to is still appended to, without the look back.
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(path.c_str(), O_WRONLY | flags, 0644);
    struct stat info {};
    if (fd_ < 0 && errno == ENXIO && ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw std::runtime_error("the report " + path + " is not a regular file");
    if (fd_ < 0) throw std::runtime_error("cannot open the report " + path + ": " + std::strerror(errno));
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error("the report " + path + " is not a regular file");
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

TStationReport TStationReport::Inherited(int fd) {
    const std::string own = "/proc/self/fd/" + std::to_string(fd);
    const int reopened = ::open(own.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY);
    if (reopened < 0) {
        // Without /proc the inherited descriptor still appends; its lock is then shared
        // with the batch's, which leaves only the cut-back of a short write unguarded.
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        return TStationReport(fd);
    }
    ::close(fd);
    return TStationReport(reopened);
}

TStationReport::~TStationReport() {
    if (fd_ >= 0) ::close(fd_);
}

int TStationReport::Append(const std::string& line, const std::function<bool()>& alreadyThere) {
    if (fd_ < 0) return EBADF;
    while (::flock(fd_, LOCK_EX) != 0)
        if (errno != EINTR) return errno;
    int error = 0;
    struct stat info {};
    if (alreadyThere && alreadyThere()) {
        // In the file already: nothing to write.
    } else if (::fstat(fd_, &info) != 0) {
        error = errno;
    } else {
        char last = '\n';
        if (info.st_size > 0 && ::pread(fd_, &last, 1, info.st_size - 1) != 1) last = '\n';
        const std::string bytes = (last == '\n' ? "" : "\n") + line + "\n";
        ssize_t n;
        do {
            n = ::write(fd_, bytes.data(), bytes.size());
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(bytes.size())) {
            error = n < 0 ? errno : ENOSPC;
            // A short write leaves part of the line: cut the file back to where it ended.
            if (n > 0 && ::ftruncate(fd_, info.st_size) != 0) error = errno;
        }
    }
    ::flock(fd_, LOCK_UN);
    return error;
}
