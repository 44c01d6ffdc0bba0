#pragma once
// The text of a service's "ImagePath" from the value's raw registry data.
// Platform-free, so that it is tested and fuzzed natively.

#include <cstddef>
#include <cstdint>
#include <string>

namespace services {

// The UTF-16LE text in `data` (whatever the value's type) up to its first NUL,
// each unit one wchar_t, read as if two zero bytes followed the data: data
// without a NUL ends with it, and an odd last byte is the low byte of a last
// unit. Nothing is read past `size` bytes.
std::wstring ImagePathFromValueData(const std::uint8_t* data, std::size_t size);

}  // namespace services
