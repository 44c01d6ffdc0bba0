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
// Uses carry-less multiplication where the processor has it, else tables.
std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t previous = 0) noexcept;

// The same checksum from the tables alone, on every processor.
std::uint32_t Crc32Tables(const void* data, std::size_t size, std::uint32_t previous = 0) noexcept;

}  // namespace files
