#pragma once
// CRC-32 of IEEE 802.3 (the checksum of zip, PNG and Ethernet): reflected
// polynomial 0xEDB88320, initial value 0xFFFFFFFF, final complement. The
// checksum of "abc" is 0x352441C2, of no bytes at all 0.

#include <cstddef>
#include <cstdint>

namespace files {

// The checksum of `size` bytes at `data`. Passing the checksum of the bytes
// before them as `previous` continues it, so a file can be summed piece by
// piece: Crc32(b, nb, Crc32(a, na)) equals the checksum of a followed by b.
// Uses the widest carry-less multiplication the processor and the system
// allow (Crc32Fastest), else tables.
std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t previous = 0) noexcept;

// The same checksum from the tables alone, on every processor.
std::uint32_t Crc32Tables(const void* data, std::size_t size, std::uint32_t previous = 0) noexcept;

// The ways of computing the checksum, narrowest first: tables of sixteen
// bytes a step, and folding with the carry-less multiplication of 128-bit
// (PCLMULQDQ), 256-bit (VPCLMULQDQ with AVX2) and 512-bit registers
// (VPCLMULQDQ with AVX-512).
enum class Crc32Method { Tables, Carryless128, Carryless256, Carryless512 };

// Whether this processor has the instructions of `method` and the system
// saves the registers it uses. Tables are always supported.
bool Crc32Supported(Crc32Method method) noexcept;

// The widest supported method: the one Crc32 uses.
Crc32Method Crc32Fastest() noexcept;

// The checksum by `method`; a method that is not supported gives way to the
// tables. For tests and benchmarks that compare the methods.
std::uint32_t Crc32By(Crc32Method method, const void* data, std::size_t size, std::uint32_t previous = 0) noexcept;

// "tables", "pclmul-128", "vpclmul-256", "vpclmul-512".
const char* Crc32MethodName(Crc32Method method) noexcept;

}  // namespace files
