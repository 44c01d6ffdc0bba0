#pragma once
// Inside the CRC-32: the pieces that crc32.cpp (tables, choice of method)
// and crc32_carryless.cpp (folding with carry-less multiplication) share.
//
// The checksum register is kept in its reflected form: bit 0 holds the
// coefficient of x^31. Every update starts from the register (the
// complemented previous checksum) and returns the register.

#include <cstddef>
#include <cstdint>

#include "files/crc32.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TARNEL_CRC32_CARRYLESS 1
#else
#define TARNEL_CRC32_CARRYLESS 0
#endif

namespace files::crc32_detail {

// Sixteen bytes a step through the tables, the rest one byte a step.
std::uint32_t TableUpdate(std::uint32_t crc, const unsigned char* p, std::size_t size) noexcept;

#if TARNEL_CRC32_CARRYLESS
// Whether the processor and the system allow a carry-less method (read once).
bool CarrylessSupported(Crc32Method method) noexcept;

// Fold the whole 16-byte blocks of `size` bytes into the register; `p` and
// `size` come back past them (fewer than 16 bytes are left for the tables).
// Short inputs go to the next narrower method; below 64 bytes nothing is
// folded. Each needs its method to be supported.
std::uint32_t Carryless128Update(std::uint32_t crc, const unsigned char*& p, std::size_t& size) noexcept;
std::uint32_t Carryless256Update(std::uint32_t crc, const unsigned char*& p, std::size_t& size) noexcept;
std::uint32_t Carryless512Update(std::uint32_t crc, const unsigned char*& p, std::size_t& size) noexcept;
#endif

}  // namespace files::crc32_detail
