#include "files/crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TARNEL_CRC32_CARRYLESS 1
#include <immintrin.h>
#else
#define TARNEL_CRC32_CARRYLESS 0
#endif

// The checksum register is kept in its reflected form: bit 0 holds the
// coefficient of x^31. Both ways of computing below start from the register
// (the complemented previous checksum) and return the register; Crc32 adds
// the final complement.

namespace files {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320;        // reflected
constexpr std::uint32_t kPolynomialNormal = 0x04C11DB7;  // the same, x^31 in the top bit

// ---------------------------------------------------------------------------
// Tables: sixteen bytes folded in per step. Table 0 is the usual one-byte
// table; table k gives the effect of a byte that still has k zero bytes to
// pass through, so sixteen lookups stand for sixteen one-byte steps.

constexpr std::size_t kSlices = 16;
using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

constexpr Tables MakeTables() {
    Tables tables{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (kPolynomial & (0u - (crc & 1u)));
        tables[0][byte] = crc;
    }
    for (std::size_t slice = 1; slice < kSlices; ++slice) {
        for (std::size_t byte = 0; byte < 256; ++byte) {
            const std::uint32_t before = tables[slice - 1][byte];
            tables[slice][byte] = (before >> 8) ^ tables[0][before & 0xFF];
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

static_assert(kTables[0][1] == 0x77073096 && kTables[0][255] == 0x2D02EF8D);

// A little-endian 32-bit word at any alignment.
inline std::uint32_t LoadWord(const unsigned char* p) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t word;
        std::memcpy(&word, p, sizeof word);
        return word;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
}

// Table `slice` looked up with byte `index` (0 = lowest) of `word`.
inline std::uint32_t Look(std::size_t slice, std::uint32_t word, int index) noexcept {
    return kTables[slice][(word >> (8 * index)) & 0xFF];
}

std::uint32_t TableUpdate(std::uint32_t crc, const unsigned char* p, std::size_t size) noexcept {
    for (; size >= kSlices; size -= kSlices, p += kSlices) {
        const std::uint32_t w0 = LoadWord(p) ^ crc;
        const std::uint32_t w1 = LoadWord(p + 4);
        const std::uint32_t w2 = LoadWord(p + 8);
        const std::uint32_t w3 = LoadWord(p + 12);
        crc = Look(15, w0, 0) ^ Look(14, w0, 1) ^ Look(13, w0, 2) ^ Look(12, w0, 3) ^
              Look(11, w1, 0) ^ Look(10, w1, 1) ^ Look(9, w1, 2) ^ Look(8, w1, 3) ^
              Look(7, w2, 0) ^ Look(6, w2, 1) ^ Look(5, w2, 2) ^ Look(4, w2, 3) ^
              Look(3, w3, 0) ^ Look(2, w3, 1) ^ Look(1, w3, 2) ^ Look(0, w3, 3);
    }
    for (; size > 0; --size, ++p) crc = (crc >> 8) ^ kTables[0][(crc ^ *p) & 0xFF];
    return crc;
}

#if TARNEL_CRC32_CARRYLESS
// ---------------------------------------------------------------------------
// Carry-less multiplication (PCLMULQDQ): the data is taken in 16-byte blocks,
// four at a time. A block X that lies d bits before a later block is the
// polynomial H·x^64 + L (H its first eight bytes, L its last eight); its
// share of the later block is H·x^(64+d) + L·x^d, and modulo the polynomial
// that is H·(x^(d+32) mod P) + L·(x^(d-32) mod P) placed x^32 higher, which
// is exactly where the reflected 64×33-bit products land in a 128-bit lane.
// Folding keeps 512 bits in four lanes, then one lane; the last lane, a
// plain 16-byte message with the register already mixed in, goes through
// the tables from a zero register, which is its remainder times x^32.

// x^n modulo the polynomial, x^31 in the top bit.
constexpr std::uint32_t PowerOfX(unsigned n) {
    std::uint32_t remainder = 1;
    for (unsigned i = 0; i < n; ++i) {
        const bool carry = (remainder & 0x80000000u) != 0;
        remainder <<= 1;
        if (carry) remainder ^= kPolynomialNormal;
    }
    return remainder;
}

constexpr std::uint32_t Reflect(std::uint32_t value) {
    std::uint32_t reflected = 0;
    for (int bit = 0; bit < 32; ++bit) reflected |= ((value >> bit) & 1u) << (31 - bit);
    return reflected;
}

// The 33-bit reflected form of x^n mod P: bit i holds the coefficient of x^(32-i).
constexpr std::uint64_t FoldFactor(unsigned n) { return std::uint64_t{Reflect(PowerOfX(n))} << 1; }

constexpr std::size_t kBlock = 16;
constexpr std::size_t kLanes = 4;
constexpr unsigned kFourBlocks = 8 * kBlock * kLanes;  // 512 bits
constexpr unsigned kOneBlock = 8 * kBlock;             // 128 bits

constexpr std::uint64_t kFour64 = FoldFactor(kFourBlocks + 32);  // for the first eight bytes
constexpr std::uint64_t kFour0 = FoldFactor(kFourBlocks - 32);   // for the last eight bytes
constexpr std::uint64_t kOne64 = FoldFactor(kOneBlock + 32);
constexpr std::uint64_t kOne0 = FoldFactor(kOneBlock - 32);

constexpr std::size_t kCarrylessMinimum = kBlock * kLanes;

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i lane, __m128i factors, __m128i next) {
    const __m128i high = _mm_clmulepi64_si128(lane, factors, 0x00);  // first eight bytes × low factor
    const __m128i low = _mm_clmulepi64_si128(lane, factors, 0x11);   // last eight bytes × high factor
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

__attribute__((target("sse2"))) inline __m128i Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Folds the whole blocks of at least kCarrylessMinimum bytes into the
// register; `size` comes back as the bytes left over (less than a block).
__attribute__((target("pclmul,sse2"))) std::uint32_t CarrylessUpdate(std::uint32_t crc, const unsigned char*& p,
                                                                      std::size_t& size) noexcept {
    __m128i lane0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i lane1 = Load(p + kBlock);
    __m128i lane2 = Load(p + 2 * kBlock);
    __m128i lane3 = Load(p + 3 * kBlock);
    p += kLanes * kBlock;
    size -= kLanes * kBlock;

    const __m128i four = _mm_set_epi64x(static_cast<long long>(kFour0), static_cast<long long>(kFour64));
    for (; size >= kLanes * kBlock; size -= kLanes * kBlock, p += kLanes * kBlock) {
        lane0 = Fold(lane0, four, Load(p));
        lane1 = Fold(lane1, four, Load(p + kBlock));
        lane2 = Fold(lane2, four, Load(p + 2 * kBlock));
        lane3 = Fold(lane3, four, Load(p + 3 * kBlock));
    }

    const __m128i one = _mm_set_epi64x(static_cast<long long>(kOne0), static_cast<long long>(kOne64));
    __m128i lane = Fold(lane0, one, lane1);
    lane = Fold(lane, one, lane2);
    lane = Fold(lane, one, lane3);
    for (; size >= kBlock; size -= kBlock, p += kBlock) lane = Fold(lane, one, Load(p));

    alignas(16) unsigned char last[kBlock];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), lane);
    return TableUpdate(0, last, kBlock);
}

bool HasCarryless() noexcept {
    static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return supported;
}
#endif

}  // namespace

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t previous) noexcept {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t crc = ~previous;
#if TARNEL_CRC32_CARRYLESS
    if (size >= kCarrylessMinimum && HasCarryless()) crc = CarrylessUpdate(crc, p, size);
#endif
    return ~TableUpdate(crc, p, size);
}

std::uint32_t Crc32Tables(const void* data, std::size_t size, std::uint32_t previous) noexcept {
    return ~TableUpdate(~previous, static_cast<const unsigned char*>(data), size);
}

}  // namespace files
