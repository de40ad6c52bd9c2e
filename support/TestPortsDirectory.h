#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

// A ports directory of its own for one test: a fresh temporary directory that
// BOOTLOADER_PORTS names while the object lives, so that no test reaches the machine's
// own serial devices. Entries are symbolic links named COM1, COM2, ...
class TTestPortsDirectory {
public:
    TTestPortsDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ports-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary ports directory");
        path_ = pattern;
        if (const char* previous = ::getenv(kVariable)) previous_ = previous;
        ::setenv(kVariable, path_.c_str(), 1);
    }
    ~TTestPortsDirectory() {
        previous_ ? ::setenv(kVariable, previous_->c_str(), 1) : ::unsetenv(kVariable);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TTestPortsDirectory(const TTestPortsDirectory&) = delete;
    TTestPortsDirectory& operator=(const TTestPortsDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string Entry(unsigned port) const { return (path_ / ("COM" + std::to_string(port))).string(); }

    // COM<port> -> target, which need not exist: a dangling link is a missing port.
    void Link(unsigned port, const std::string& target) const {
        std::filesystem::create_symlink(target, Entry(port));
    }

    // Points COM<port> at another target in one rename, as a port name passes to another
    // device when an adapter re-enumerates.
    void Relink(unsigned port, const std::string& target) const {
        const std::string fresh = Entry(port) + ".new";
        std::filesystem::create_symlink(target, fresh);
        std::filesystem::rename(fresh, Entry(port));
    }

    // A regular file in the directory; returns its path.
    std::string WriteFile(const std::string& name, const std::string& bytes) const {
        const std::string path = (path_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

private:
    static constexpr const char* kVariable = "BOOTLOADER_PORTS";
    std::filesystem::path path_;
    std::optional<std::string> previous_;
};
