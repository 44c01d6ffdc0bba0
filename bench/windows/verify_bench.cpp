// GetFileSizeAndCRC on a 64 MiB file beside a plain read of the same file:
// ReadFile in 1 MiB pieces, and a read of every byte through a read-only
// mapping such as GetFileSizeAndCRC makes. The file stays in the system's
// cache; the three take turns over several rounds and each figure is the
// median of its rounds.
//
//   verify_bench [rounds]

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench_support.h"
#include "engine/install_verification.h"
#include "files/crc32.h"

namespace {

constexpr DWORD kFileBytes = 64u << 20;
constexpr DWORD kPieceBytes = 1u << 20;

void WriteRandomFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) ExitProcess(1);
    std::mt19937_64 random(4711);
    std::vector<std::uint64_t> piece(kPieceBytes / 8);
    for (DWORD written = 0; written < kFileBytes; written += kPieceBytes) {
        for (std::uint64_t& word : piece) word = random();
        DWORD done = 0;
        WriteFile(file, piece.data(), kPieceBytes, &done, nullptr);
    }
    CloseHandle(file);
}

// The plain read: the whole file through ReadFile into one reused buffer.
std::uint64_t ReadWhole(const std::wstring& path, std::vector<unsigned char>& buffer) {
    const HANDLE file = CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    std::uint64_t total = 0;
    DWORD done = 0;
    while (ReadFile(file, buffer.data(), kPieceBytes, &done, nullptr) && done > 0) total += done + buffer[done - 1];
    CloseHandle(file);
    return total;
}

// Every byte read through a read-only mapping, eight at a time.
std::uint64_t ReadMapped(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, kFileBytes, nullptr);
    const auto* view = static_cast<const std::uint64_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kFileBytes));
    std::uint64_t a = 0, b = 0, c = 0, d = 0;
    for (std::size_t i = 0; i < kFileBytes / 8; i += 4) {
        a ^= view[i];
        b ^= view[i + 1];
        c ^= view[i + 2];
        d ^= view[i + 3];
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
    return a ^ b ^ c ^ d;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    bench::ScratchFolder folder(L"tarnel-verify-bench");
    const std::wstring path = folder.Path() + L"image.bin";
    WriteRandomFile(path);
    LogPtr log = bench::MakeLog(L"");
    std::vector<unsigned char> buffer(kPieceBytes);

    std::vector<double> measured, read, mapped;
    volatile std::uint64_t sink = 0;
    std::uint32_t size = 0, crc = 0;
    for (int round = 0; round < rounds; ++round) {
        bench::Stopwatch a;
        if (!engine::GetFileSizeAndCRC(path, size, crc, *log)) return 1;
        measured.push_back(a.Milliseconds());
        bench::Stopwatch b;
        sink = sink + ReadWhole(path, buffer);
        read.push_back(b.Milliseconds());
        bench::Stopwatch c;
        sink = sink + ReadMapped(path);
        mapped.push_back(c.Milliseconds());
    }
    std::printf("GetFileSizeAndCRC: size %u, crc32 0x%08X, CRC-32 by %s\n", size, crc,
                files::Crc32MethodName(files::Crc32Fastest()));
    bench::Figure("verify.crc_ms", bench::Median(measured));
    bench::Figure("verify.readfile_ms", bench::Median(read));
    bench::Figure("verify.mapped_read_ms", bench::Median(mapped));
    return size == kFileBytes ? 0 : 1;
}
