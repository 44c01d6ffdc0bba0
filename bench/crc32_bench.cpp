// Throughput of files::Crc32 (the method it picks and each method forced)
// beside zlib's crc32 and beside a plain read of the same memory, the limit
// that no checksum can pass: 4 KiB and 64 KiB buffers stay in the caches,
// 1 MiB in the last level, 16 MiB and 64 MiB stream from memory. Google
// Benchmark; scripts/bench.sh runs it with repetitions in random order and
// turns the figures into ratios.
//
//   crc32_bench [--benchmark_...]

#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "files/crc32.h"

namespace {

constexpr std::size_t kSizes[] = {4u << 10, 64u << 10, 1u << 20, 16u << 20, 64u << 20};
constexpr std::size_t kLargest = 64u << 20;

// One buffer of random bytes, 64-byte aligned, shared by all cases (each
// takes its first n bytes).
const unsigned char* Buffer() {
    static const unsigned char* buffer = [] {
        auto* bytes = static_cast<unsigned char*>(std::aligned_alloc(64, kLargest));
        std::mt19937_64 random(12345);
        for (std::size_t i = 0; i < kLargest; i += 8) {
            const std::uint64_t word = random();
            std::memcpy(bytes + i, &word, 8);
        }
        return bytes;
    }();
    return buffer;
}

// The plain read: every byte loaded once with the widest loads there are,
// combined with exclusive or into four registers so that nothing but the
// loads limits it.
__attribute__((target("avx512f"))) std::uint64_t ReadAvx512(const unsigned char* p, std::size_t size) {
    __m512i a = _mm512_setzero_si512(), b = a, c = a, d = a;
    std::size_t i = 0;
    for (; i + 256 <= size; i += 256) {
        a = _mm512_xor_si512(a, _mm512_load_si512(p + i));
        b = _mm512_xor_si512(b, _mm512_load_si512(p + i + 64));
        c = _mm512_xor_si512(c, _mm512_load_si512(p + i + 128));
        d = _mm512_xor_si512(d, _mm512_load_si512(p + i + 192));
    }
    alignas(64) std::uint64_t words[8];
    _mm512_store_si512(words, _mm512_xor_si512(_mm512_xor_si512(a, b), _mm512_xor_si512(c, d)));
    return words[0] ^ words[3] ^ words[7] ^ i;
}

__attribute__((target("sse2"))) std::uint64_t ReadSse2(const unsigned char* p, std::size_t size) {
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        a = _mm_xor_si128(a, _mm_load_si128(reinterpret_cast<const __m128i*>(p + i)));
        b = _mm_xor_si128(b, _mm_load_si128(reinterpret_cast<const __m128i*>(p + i + 16)));
        c = _mm_xor_si128(c, _mm_load_si128(reinterpret_cast<const __m128i*>(p + i + 32)));
        d = _mm_xor_si128(d, _mm_load_si128(reinterpret_cast<const __m128i*>(p + i + 48)));
    }
    const __m128i all = _mm_xor_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(all)) + i;
}

std::uint64_t PlainRead(const unsigned char* p, std::size_t size) {
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    return avx512 ? ReadAvx512(p, size) : ReadSse2(p, size);
}

template <class Sum>
void Run(benchmark::State& state, Sum sum) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    const unsigned char* buffer = Buffer();
    for (auto _ : state) {
        auto result = sum(buffer, size);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

void Register(const std::string& name, void (*body)(benchmark::State&)) {
    auto* bench = benchmark::RegisterBenchmark(name.c_str(), body);
    for (std::size_t size : kSizes) bench->Arg(static_cast<std::int64_t>(size));
    bench->Unit(benchmark::kMicrosecond);
}

template <files::Crc32Method method>
void ByMethod(benchmark::State& state) {
    Run(state, [](const unsigned char* p, std::size_t n) { return files::Crc32By(method, p, n); });
}

}  // namespace

int main(int argc, char** argv) {
    Buffer();
    // The checksums must agree before any figure counts.
    const std::uint32_t ours = files::Crc32(Buffer(), kLargest);
    const auto theirs = static_cast<std::uint32_t>(::crc32(0, Buffer(), static_cast<uInt>(kLargest)));
    if (ours != theirs) {
        std::fprintf(stderr, "crc32_bench: files::Crc32 0x%08X differs from zlib 0x%08X\n", ours, theirs);
        return 1;
    }
    benchmark::AddCustomContext("crc32_method", files::Crc32MethodName(files::Crc32Fastest()));

    Register("read", [](benchmark::State& state) { Run(state, PlainRead); });
    Register("zlib", [](benchmark::State& state) {
        Run(state, [](const unsigned char* p, std::size_t n) { return ::crc32(0, p, static_cast<uInt>(n)); });
    });
    Register("tarnel", [](benchmark::State& state) {
        Run(state, [](const unsigned char* p, std::size_t n) { return files::Crc32(p, n); });
    });
    using M = files::Crc32Method;
    for (M method : {M::Tables, M::Carryless128, M::Carryless256, M::Carryless512}) {
        if (!files::Crc32Supported(method)) continue;
        const std::string name = std::string("tarnel-") + files::Crc32MethodName(method);
        switch (method) {
            case M::Tables:
                Register(name, ByMethod<M::Tables>);
                break;
            case M::Carryless128:
                Register(name, ByMethod<M::Carryless128>);
                break;
            case M::Carryless256:
                Register(name, ByMethod<M::Carryless256>);
                break;
            case M::Carryless512:
                Register(name, ByMethod<M::Carryless512>);
                break;
        }
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
