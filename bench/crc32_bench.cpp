// Prints the throughput of files::Crc32, and of its tables alone, beside
// zlib's crc32 on the same buffers: small ones summed many times (they stay
// in the cache, like a driver image) and large ones that stream from memory.
// Each figure is the best of several runs; all three checksums must agree.
//
//   crc32_bench [runs]

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "files/crc32.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
    const char* name;
    std::size_t bufferBytes;
    std::size_t totalBytes;  // bytes summed per run
};

template <class Sum>
double BestMegabytesPerSecond(const std::vector<unsigned char>& buffer, std::size_t totalBytes, int runs, Sum sum,
                              std::uint32_t& checksum) {
    const std::size_t rounds = totalBytes / buffer.size();
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        std::uint32_t crc = 0;
        const auto start = Clock::now();
        for (std::size_t round = 0; round < rounds; ++round) crc = sum(buffer.data(), buffer.size(), crc);
        const std::chrono::duration<double> seconds = Clock::now() - start;
        checksum = crc;
        const double rate = static_cast<double>(rounds * buffer.size()) / 1e6 / seconds.count();
        if (rate > best) best = rate;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const Case cases[] = {
        {"64 KiB", 64u << 10, 512u << 20},
        {"16 MiB", 16u << 20, 512u << 20},
    };

    std::mt19937 random(12345);
    int status = 0;
    std::printf("%-8s %12s %12s %12s %8s   (best of %d runs, 512 MB each)\n", "buffer", "ours MB/s",
                "tables MB/s", "zlib MB/s", "ours/zlib", runs);
    for (const Case& c : cases) {
        std::vector<unsigned char> buffer(c.bufferBytes);
        for (unsigned char& byte : buffer) byte = static_cast<unsigned char>(random());

        std::uint32_t ours = 0;
        std::uint32_t byTables = 0;
        std::uint32_t theirs = 0;
        const double oursRate = BestMegabytesPerSecond(
            buffer, c.totalBytes, runs,
            [](const unsigned char* p, std::size_t n, std::uint32_t crc) { return files::Crc32(p, n, crc); }, ours);
        const double tablesRate = BestMegabytesPerSecond(
            buffer, c.totalBytes, runs,
            [](const unsigned char* p, std::size_t n, std::uint32_t crc) { return files::Crc32Tables(p, n, crc); },
            byTables);
        const double zlibRate = BestMegabytesPerSecond(
            buffer, c.totalBytes, runs,
            [](const unsigned char* p, std::size_t n, std::uint32_t crc) {
                return static_cast<std::uint32_t>(::crc32(crc, p, static_cast<uInt>(n)));
            },
            theirs);
        const bool agree = ours == theirs && byTables == theirs;
        std::printf("%-8s %12.0f %12.0f %12.0f %8.2f   crc 0x%08X%s\n", c.name, oursRate, tablesRate, zlibRate,
                    oursRate / zlibRate, ours, agree ? "" : " MISMATCH with zlib");
        if (!agree) status = 1;
    }
    return status;
}
