// CRC-32 by folding with carry-less multiplication, on x86 processors that
// have it: PCLMULQDQ on 128-bit registers, VPCLMULQDQ on 256-bit (AVX2) and
// 512-bit (AVX-512) registers. Each function is compiled for its own
// instruction set and runs only after the processor and the system have been
// asked (CarrylessSupported), so the program still starts on any x86-64.

#include "files/crc32_methods.h"

#if TARNEL_CRC32_CARRYLESS

#include <cpuid.h>
#include <immintrin.h>

namespace files::crc32_detail {
namespace {

// ---------------------------------------------------------------------------
// Folding. A block of 16 bytes is the polynomial H·x^64 + L, H its first
// eight bytes and L its last eight (the first byte's bit 0 the highest
// coefficient, as the reflected checksum reads it). A block that lies d bits
// before a later block of the running sum adds H·x^(64+d) + L·x^d to it, and
// modulo the polynomial P that is H·(x^(d+32) mod P) + L·(x^(d-32) mod P)
// taken x^32 higher: exactly where the product of a reflected 64-bit half
// and a reflected 33-bit factor lands in a 128-bit lane. So folding a lane d
// bits forward is two carry-less products and an exclusive or with the block
// there; wider registers fold four or two lanes at once with the same pair of
// factors in every lane. The last lane, the register already mixed into its
// first block, is a plain 16-byte message: the tables from a zero register
// give its remainder times x^32, which is the checksum register.
//
// The factors are worked out here at compile time: x^n mod P by n shifts of
// a 32-bit remainder (x^31 in its top bit; a carry out of it adds P), then
// reflected and moved up one bit, so that bit i holds the coefficient of
// x^(32-i). FactorsFor(d) is the pair for a distance of d bits, x^(d+32)
// for the first eight bytes (low half of a lane), x^(d-32) for the last.

constexpr std::uint32_t kPolynomialNormal = 0x04C11DB7;  // x^31 in the top bit

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

constexpr std::uint64_t FoldFactor(unsigned n) { return std::uint64_t{Reflect(PowerOfX(n))} << 1; }

struct FoldFactors {
    std::uint64_t low;   // for the first eight bytes of a lane
    std::uint64_t high;  // for the last eight
};

constexpr FoldFactors FactorsFor(unsigned distanceBits) {
    return {FoldFactor(distanceBits + 32), FoldFactor(distanceBits - 32)};
}

// x^32 mod P is P without its top term, and its factor is the reflected polynomial.
static_assert(PowerOfX(32) == kPolynomialNormal && PowerOfX(31) == 0x80000000u);
static_assert(FoldFactor(32) == std::uint64_t{0xEDB88320} << 1);

constexpr std::size_t kBlock = 16;
constexpr FoldFactors k128 = FactorsFor(128);
constexpr FoldFactors k256 = FactorsFor(256);
constexpr FoldFactors k512 = FactorsFor(512);
constexpr FoldFactors k1024 = FactorsFor(1024);
constexpr FoldFactors k2048 = FactorsFor(2048);

#define TARNEL_TARGET_128 __attribute__((target("pclmul,sse2")))
#define TARNEL_TARGET_256 __attribute__((target("pclmul,avx2,vpclmulqdq")))
#define TARNEL_TARGET_512 __attribute__((target("pclmul,avx2,avx512f,vpclmulqdq")))

// --- 128-bit lanes ---------------------------------------------------------

TARNEL_TARGET_128 inline __m128i Factors128(FoldFactors f) {
    return _mm_set_epi64x(static_cast<long long>(f.high), static_cast<long long>(f.low));
}

TARNEL_TARGET_128 inline __m128i Load128(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

TARNEL_TARGET_128 inline __m128i Fold128(__m128i lane, __m128i factors, __m128i next) {
    const __m128i first = _mm_clmulepi64_si128(lane, factors, 0x00);
    const __m128i last = _mm_clmulepi64_si128(lane, factors, 0x11);
    return _mm_xor_si128(_mm_xor_si128(first, last), next);
}

// Folds the remaining whole blocks into `lane` and reduces it to the register.
TARNEL_TARGET_128 inline std::uint32_t Finish128(__m128i lane, const unsigned char*& p, std::size_t& size) {
    const __m128i one = Factors128(k128);
    for (; size >= kBlock; size -= kBlock, p += kBlock) lane = Fold128(lane, one, Load128(p));
    alignas(16) unsigned char last[kBlock];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), lane);
    return TableUpdate(0, last, kBlock);
}

// --- CPU and system support ------------------------------------------------

struct Support {
    bool carryless128 = false;
    bool carryless256 = false;
    bool carryless512 = false;
};

// The register states the system saves on a thread switch (XCR0).
std::uint64_t SavedStates() {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return std::uint64_t{high} << 32 | low;
}

Support AskProcessor() {
    Support support;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return support;
    const bool sse2 = (edx & (1u << 26)) != 0;
    const bool pclmul = (ecx & (1u << 1)) != 0;
    const bool osxsave = (ecx & (1u << 27)) != 0;
    const bool avx = (ecx & (1u << 28)) != 0;
    support.carryless128 = sse2 && pclmul;
    if (!support.carryless128 || !osxsave || !avx) return support;

    const std::uint64_t states = SavedStates();
    constexpr std::uint64_t kYmmStates = 0x6;    // SSE and AVX
    constexpr std::uint64_t kZmmStates = 0xE6;   // and the opmask, ZMM0-15 upper halves, ZMM16-31
    if ((states & kYmmStates) != kYmmStates) return support;

    unsigned maxLeaf = 0;
    if (!__get_cpuid(0, &maxLeaf, &ebx, &ecx, &edx) || maxLeaf < 7) return support;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    const bool avx2 = (ebx & (1u << 5)) != 0;
    const bool avx512f = (ebx & (1u << 16)) != 0;
    const bool vpclmulqdq = (ecx & (1u << 10)) != 0;
    support.carryless256 = avx2 && vpclmulqdq;
    support.carryless512 = support.carryless256 && avx512f && (states & kZmmStates) == kZmmStates;
    return support;
}

const Support& Supported() {
    static const Support support = AskProcessor();
    return support;
}

}  // namespace

bool CarrylessSupported(Crc32Method method) noexcept {
    switch (method) {
        case Crc32Method::Carryless128:
            return Supported().carryless128;
        case Crc32Method::Carryless256:
            return Supported().carryless256;
        case Crc32Method::Carryless512:
            return Supported().carryless512;
        case Crc32Method::Tables:
            break;
    }
    return false;
}

// Four 128-bit lanes (64 bytes a step), folded 512 bits forward.
TARNEL_TARGET_128 std::uint32_t Carryless128Update(std::uint32_t crc, const unsigned char*& p,
                                                   std::size_t& size) noexcept {
    constexpr std::size_t kStep = 4 * kBlock;
    if (size < kStep) return crc;
    __m128i lane0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i lane1 = Load128(p + kBlock);
    __m128i lane2 = Load128(p + 2 * kBlock);
    __m128i lane3 = Load128(p + 3 * kBlock);
    p += kStep;
    size -= kStep;

    const __m128i four = Factors128(k512);
    for (; size >= kStep; size -= kStep, p += kStep) {
        lane0 = Fold128(lane0, four, Load128(p));
        lane1 = Fold128(lane1, four, Load128(p + kBlock));
        lane2 = Fold128(lane2, four, Load128(p + 2 * kBlock));
        lane3 = Fold128(lane3, four, Load128(p + 3 * kBlock));
    }

    const __m128i one = Factors128(k128);
    __m128i lane = Fold128(lane0, one, lane1);
    lane = Fold128(lane, one, lane2);
    lane = Fold128(lane, one, lane3);
    return Finish128(lane, p, size);
}

// --- 256-bit registers: two lanes each -------------------------------------

namespace {

TARNEL_TARGET_256 inline __m256i Factors256(FoldFactors f) {
    return _mm256_broadcastsi128_si256(Factors128(f));
}

TARNEL_TARGET_256 inline __m256i Load256(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

TARNEL_TARGET_256 inline __m256i Fold256(__m256i lanes, __m256i factors, __m256i next) {
    const __m256i first = _mm256_clmulepi64_epi128(lanes, factors, 0x00);
    const __m256i last = _mm256_clmulepi64_epi128(lanes, factors, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(first, last), next);
}

}  // namespace

// Four registers (128 bytes a step), folded 1024 bits forward; then one
// register 256 bits a step, its two lanes folded into one, the rest by lanes.
TARNEL_TARGET_256 std::uint32_t Carryless256Update(std::uint32_t crc, const unsigned char*& p,
                                                   std::size_t& size) noexcept {
    constexpr std::size_t kRegister = 2 * kBlock;
    constexpr std::size_t kStep = 4 * kRegister;
    if (size < kStep) return Carryless128Update(crc, p, size);
    __m256i x0 = _mm256_xor_si256(Load256(p), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
    __m256i x1 = Load256(p + kRegister);
    __m256i x2 = Load256(p + 2 * kRegister);
    __m256i x3 = Load256(p + 3 * kRegister);
    p += kStep;
    size -= kStep;

    const __m256i four = Factors256(k1024);
    for (; size >= kStep; size -= kStep, p += kStep) {
        x0 = Fold256(x0, four, Load256(p));
        x1 = Fold256(x1, four, Load256(p + kRegister));
        x2 = Fold256(x2, four, Load256(p + 2 * kRegister));
        x3 = Fold256(x3, four, Load256(p + 3 * kRegister));
    }

    const __m256i one = Factors256(k256);
    __m256i x = Fold256(x0, one, x1);
    x = Fold256(x, one, x2);
    x = Fold256(x, one, x3);
    for (; size >= kRegister; size -= kRegister, p += kRegister) x = Fold256(x, one, Load256(p));

    const __m128i lane = Fold128(_mm256_castsi256_si128(x), Factors128(k128), _mm256_extracti128_si256(x, 1));
    return Finish128(lane, p, size);
}

// --- 512-bit registers: four lanes each ------------------------------------

namespace {

TARNEL_TARGET_512 inline __m512i Factors512(FoldFactors f) {
    const auto low = static_cast<long long>(f.low);
    const auto high = static_cast<long long>(f.high);
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

TARNEL_TARGET_512 inline __m512i Load512(const unsigned char* p) { return _mm512_loadu_si512(p); }

TARNEL_TARGET_512 inline __m512i Fold512(__m512i lanes, __m512i factors, __m512i next) {
    const __m512i first = _mm512_clmulepi64_epi128(lanes, factors, 0x00);
    const __m512i last = _mm512_clmulepi64_epi128(lanes, factors, 0x11);
    return _mm512_ternarylogic_epi64(first, last, next, 0x96);  // first ^ last ^ next
}

}  // namespace

// Four registers (256 bytes a step), folded 2048 bits forward; then one
// register 512 bits a step, its four lanes folded into one, the rest by lanes.
TARNEL_TARGET_512 std::uint32_t Carryless512Update(std::uint32_t crc, const unsigned char*& p,
                                                   std::size_t& size) noexcept {
    constexpr std::size_t kRegister = 4 * kBlock;
    constexpr std::size_t kStep = 4 * kRegister;
    if (size < kStep) return Carryless128Update(crc, p, size);
    __m512i x0 = _mm512_xor_si512(Load512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
    __m512i x1 = Load512(p + kRegister);
    __m512i x2 = Load512(p + 2 * kRegister);
    __m512i x3 = Load512(p + 3 * kRegister);
    p += kStep;
    size -= kStep;

    const __m512i four = Factors512(k2048);
    for (; size >= kStep; size -= kStep, p += kStep) {
        x0 = Fold512(x0, four, Load512(p));
        x1 = Fold512(x1, four, Load512(p + kRegister));
        x2 = Fold512(x2, four, Load512(p + 2 * kRegister));
        x3 = Fold512(x3, four, Load512(p + 3 * kRegister));
    }

    const __m512i one = Factors512(k512);
    __m512i x = Fold512(x0, one, x1);
    x = Fold512(x, one, x2);
    x = Fold512(x, one, x3);
    for (; size >= kRegister; size -= kRegister, p += kRegister) x = Fold512(x, one, Load512(p));

    // The four lanes through memory (once per call; the extract intrinsics
    // leave parts of their result undefined, which the compiler warns about).
    alignas(64) unsigned char lanes[kRegister];
    _mm512_store_si512(lanes, x);
    const __m128i factors = Factors128(k128);
    __m128i lane = Fold128(Load128(lanes), factors, Load128(lanes + kBlock));
    lane = Fold128(lane, factors, Load128(lanes + 2 * kBlock));
    lane = Fold128(lane, factors, Load128(lanes + 3 * kBlock));
    return Finish128(lane, p, size);
}

}  // namespace files::crc32_detail

#endif  // TARNEL_CRC32_CARRYLESS
