#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

// Resources this process holds now: resident memory, open descriptors, threads.
struct TProcessFigures {
    long RssKb = 0;
    std::size_t Descriptors = 0;
    std::size_t Threads = 0;

    static TProcessFigures Now() {
        TProcessFigures f;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmRSS:", 0) == 0) f.RssKb = std::stol(line.substr(6));
        f.Descriptors = Count("/proc/self/fd");
        f.Threads = Count("/proc/self/task");
        return f;
    }

private:
    static std::size_t Count(const char* dir) {
        std::error_code error;
        std::size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(dir, error);
             !error && it != std::filesystem::directory_iterator(); it.increment(error))
            ++n;
        return n;
    }
};
