#include "files/crc32.h"

#include <array>
#include <bit>
#include <cstring>

#include "files/crc32_methods.h"

namespace files {
namespace crc32_detail {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320;  // reflected

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

}  // namespace

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

}  // namespace crc32_detail

namespace {

std::uint32_t Update(Crc32Method method, std::uint32_t crc, const unsigned char* p, std::size_t size) noexcept {
#if TARNEL_CRC32_CARRYLESS
    switch (method) {
        case Crc32Method::Carryless512:
            crc = crc32_detail::Carryless512Update(crc, p, size);
            break;
        case Crc32Method::Carryless256:
            crc = crc32_detail::Carryless256Update(crc, p, size);
            break;
        case Crc32Method::Carryless128:
            crc = crc32_detail::Carryless128Update(crc, p, size);
            break;
        case Crc32Method::Tables:
            break;
    }
#else
    (void)method;
#endif
    return crc32_detail::TableUpdate(crc, p, size);
}

Crc32Method FindFastest() noexcept {
    for (Crc32Method method : {Crc32Method::Carryless512, Crc32Method::Carryless256, Crc32Method::Carryless128}) {
        if (Crc32Supported(method)) return method;
    }
    return Crc32Method::Tables;
}

}  // namespace

bool Crc32Supported(Crc32Method method) noexcept {
    if (method == Crc32Method::Tables) return true;
#if TARNEL_CRC32_CARRYLESS
    return crc32_detail::CarrylessSupported(method);
#else
    return false;
#endif
}

Crc32Method Crc32Fastest() noexcept {
    static const Crc32Method fastest = FindFastest();
    return fastest;
}

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t previous) noexcept {
    return ~Update(Crc32Fastest(), ~previous, static_cast<const unsigned char*>(data), size);
}

std::uint32_t Crc32Tables(const void* data, std::size_t size, std::uint32_t previous) noexcept {
    return ~crc32_detail::TableUpdate(~previous, static_cast<const unsigned char*>(data), size);
}

std::uint32_t Crc32By(Crc32Method method, const void* data, std::size_t size, std::uint32_t previous) noexcept {
    if (!Crc32Supported(method)) method = Crc32Method::Tables;
    return ~Update(method, ~previous, static_cast<const unsigned char*>(data), size);
}

const char* Crc32MethodName(Crc32Method method) noexcept {
    switch (method) {
        case Crc32Method::Tables:
            return "tables";
        case Crc32Method::Carryless128:
            return "pclmul-128";
        case Crc32Method::Carryless256:
            return "vpclmul-256";
        case Crc32Method::Carryless512:
            return "vpclmul-512";
    }
    return "?";
}

}  // namespace files
