// Runs a fuzz target without libFuzzer: every file of the given corpus directories (or
// files), then deterministic mutations of each, so that a build without clang still feeds
// the target inputs that stray from the seeds. A failed check aborts the program.
//
//   <target> [--mutations N] [--seed S] PATH...

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using TBytes = std::vector<std::uint8_t>;

void Run(const TBytes& input) {
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

TBytes Mutate(TBytes input, std::mt19937_64& random) {
    auto below = [&random](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(random() % n); };
    const int edits = 1 + static_cast<int>(below(4));
    for (int e = 0; e < edits; ++e) {
        switch (below(6)) {
            case 0:  // flip a bit
                if (!input.empty()) input[below(input.size())] ^= static_cast<std::uint8_t>(1u << below(8));
                break;
            case 1:  // set a byte, often to one the protocols treat specially
                if (!input.empty()) {
                    static const std::uint8_t special[] = {0x00, 0x02, 0x03, 0x10, 0x13, 0x7F, 0x80, 0xFF};
                    input[below(input.size())] =
                        below(2) ? special[below(8)] : static_cast<std::uint8_t>(random());
                }
                break;
            case 2:  // insert a byte
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(below(input.size() + 1)),
                             static_cast<std::uint8_t>(random()));
                break;
            case 3:  // erase a byte
                if (!input.empty())
                    input.erase(input.begin() + static_cast<std::ptrdiff_t>(below(input.size())));
                break;
            case 4: {  // repeat a stretch
                if (input.empty()) break;
                const std::size_t from = below(input.size());
                const std::size_t length = 1 + below(std::min<std::size_t>(16, input.size() - from));
                const TBytes stretch(input.begin() + static_cast<std::ptrdiff_t>(from),
                                     input.begin() + static_cast<std::ptrdiff_t>(from + length));
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(below(input.size() + 1)),
                             stretch.begin(), stretch.end());
                break;
            }
            default:  // cut the end
                input.resize(below(input.size() + 1));
                break;
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    long mutations = 0;
    std::uint64_t seed = 1;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mutations" && i + 1 < argc) {
            mutations = std::atol(argv[++i]);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::filesystem::is_directory(a)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(a))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (std::filesystem::is_regular_file(a)) {
            files.push_back(a);
        } else {
            std::fprintf(stderr, "%s: no corpus file or directory %s\n", argv[0], a.c_str());
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "%s: no corpus given\n", argv[0]);
        return 2;
    }
    std::sort(files.begin(), files.end());
    std::mt19937_64 random(seed);
    long runs = 0;
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        const TBytes seedInput((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Run(seedInput);
        ++runs;
        TBytes current = seedInput;
        for (long m = 0; m < mutations; ++m) {
            // Mostly from the seed, sometimes stacking on the last mutant.
            current = Mutate(random() % 4 == 0 ? current : seedInput, random);
            Run(current);
            ++runs;
        }
    }
    std::printf("%ld inputs from %zu seeds ran without a finding\n", runs, files.size());
    return 0;
}
