#include "sim/tools/UnitSimServer.h"

#include <errno.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace {

std::uint64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1'000'000'000ULL + std::uint64_t(ts.tv_nsec);
}

// Writes a file whole or not at all: readers never see half a dump.
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out) throw std::runtime_error("cannot write " + temporary);
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error)
        throw std::runtime_error("cannot rename " + temporary + " to " + path + ": " + error.message());
}

}  // namespace

TUnitSimServer::TUnitSimServer(const TUnitSimOptions& options)
    : options_(options), unit_(options.Config), startNs_(MonotonicNs()) {
    if (options_.Trace) {
        unit_.SetTrace([](const std::string& line) { std::fprintf(stderr, "unitsim: %s\n", line.c_str()); });
    }
    pty_ = std::make_unique<TPseudoTerminal>();
    pty_->HoldSlaveOpen();

    std::filesystem::path dir = options_.PortsDir;
    if (dir.empty()) {
        const char* fromEnvironment = std::getenv("BOOTLOADER_PORTS");
        dir = fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "ports";
    }
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        throw std::runtime_error("cannot create the ports directory " + dir.string() + ": " +
                                 error.message());

    linkName_ = "COM" + std::to_string(options_.Port);
    linkPath_ = dir / linkName_;
    const auto status = std::filesystem::symlink_status(linkPath_, error);
    if (std::filesystem::exists(status)) {
        // A link left behind by a unit that was killed is dangling once its pty is gone.
        const bool isLink = std::filesystem::is_symlink(status);
        const bool dangling = isLink && !std::filesystem::exists(linkPath_, error);
        if (!isLink || (!dangling && !options_.ReplaceLink)) {
            throw std::runtime_error(linkPath_.string() + " exists; remove it" +
                                     (isLink ? " or pass --replace-link" : ""));
        }
        std::filesystem::remove(linkPath_, error);
    }
    std::filesystem::create_symlink(pty_->SlavePath(), linkPath_, error);
    if (error)
        throw std::runtime_error("cannot create the link " + linkPath_.string() + ": " + error.message());
    linkMade_ = true;
}

TUnitSimServer::~TUnitSimServer() {
    RemoveLink();
}

void TUnitSimServer::RemoveLink() {
    if (!linkMade_) return;
    linkMade_ = false;
    std::error_code error;
    // Only our own link goes: another unit may have been given the name since.
    if (std::filesystem::read_symlink(linkPath_, error) == std::filesystem::path(pty_->SlavePath()) &&
        !error) {
        std::filesystem::remove(linkPath_, error);
    }
}

std::uint64_t TUnitSimServer::NowUs() const {
    return (MonotonicNs() - startNs_) / 1000;
}

void TUnitSimServer::ReadFromMaster() {
    std::uint8_t buffer[4096];
    while (!unit_.HungUp()) {
        const ssize_t n = ::read(pty_->MasterFd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n < 0) throw std::system_error(errno, std::generic_category(), "reading the pseudo-terminal");
        if (n == 0) return;
        // The settings in effect now are those the bytes were sent with: the other side
        // changes speed only between its requests.
        const TLineSettings line = pty_->CurrentLineSettings();
        for (TSimReply& reply : unit_.Receive({buffer, static_cast<std::size_t>(n)}, NowUs(), line)) {
            pending_.push_back({reply.DueUs, std::move(reply.Bytes)});
        }
        if (options_.FlashDumpFile.empty()) continue;
        if (unit_.Statistics().BootRestarts != restartsDumped_) {
            restartsDumped_ = unit_.Statistics().BootRestarts;
            DumpFlash();
        }
    }
}

bool TUnitSimServer::WriteDue() {
    const std::uint64_t now = NowUs();
    while (!pending_.empty() && pending_.front().DueUs <= now) {
        TPending& p = pending_.front();
        while (p.Sent < p.Bytes.size()) {
            const ssize_t n = ::write(pty_->MasterFd(), p.Bytes.data() + p.Sent, p.Bytes.size() - p.Sent);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
            if (n < 0) throw std::system_error(errno, std::generic_category(), "writing the pseudo-terminal");
            p.Sent += static_cast<std::size_t>(n);
        }
        pending_.pop_front();
    }
    return true;
}

int TUnitSimServer::Run(int signalFd) {
    bool masterFull = false;
    while (true) {
        pollfd fds[2] = {{pty_->MasterFd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (masterFull) fds[0].events |= POLLOUT;
        timespec timeout{};
        timespec* wait = nullptr;
        if (!pending_.empty() && !masterFull) {
            const std::uint64_t now = NowUs();
            const std::uint64_t due = pending_.front().DueUs;
            const std::uint64_t us = due > now ? due - now : 0;
            timeout.tv_sec = static_cast<time_t>(us / 1'000'000);
            timeout.tv_nsec = static_cast<long>(us % 1'000'000 * 1000);
            wait = &timeout;
        }
        if (::ppoll(fds, 2, wait, nullptr) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "waiting for the pseudo-terminal");
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) < 0 && errno != EAGAIN) {
                throw std::system_error(errno, std::generic_category(), "reading the signal");
            }
            Finish();
            return 0;
        }
        if (fds[0].revents & POLLIN) ReadFromMaster();
        if (unit_.HungUp()) {
            std::fprintf(stderr, "unitsim: hung up at exchange %u\n", unit_.Statistics().Exchanges);
            // Closing the master drops the line for whoever has the slave open.
            pending_.clear();
            RemoveLink();
            pty_.reset();
            Finish();
            return 0;
        }
        if ((fds[0].revents & (POLLERR | POLLNVAL | POLLHUP)) && !(fds[0].revents & POLLIN)) {
            throw std::runtime_error("the pseudo-terminal failed");
        }
        masterFull = !WriteDue();
    }
}

void TUnitSimServer::Finish() {
    if (!options_.FlashDumpFile.empty()) DumpFlash();
    WriteStats();
    if (options_.Trace) std::fprintf(stderr, "%s", unit_.Statistics().Format().c_str());
}

void TUnitSimServer::DumpFlash() const {
    const auto& flash = unit_.Flash();
    WriteFileAtomically(options_.FlashDumpFile, flash.data(), flash.size());
}

void TUnitSimServer::WriteStats() const {
    if (options_.StatsFile.empty()) return;
    const std::string text = unit_.Statistics().Format();
    WriteFileAtomically(options_.StatsFile, text.data(), text.size());
}
