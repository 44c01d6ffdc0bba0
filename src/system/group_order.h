#pragma once
// The binary entries of a load-order group's tag list: a 32-bit count, then
// the tags in load order, all little-endian. Walks are bounded by the bytes
// actually read, whatever the count entry claims.

#include <cstdint>
#include <vector>

namespace grouporder {

// True when `tag` is one of the listed tags (entries 1 onwards).
bool ContainsTag(const std::vector<std::uint8_t>& data, std::uint32_t tag);

// Removes the first occurrence of `tag`: the following entries move down,
// the count drops by one and the data is 4 bytes shorter (a partial entry
// at the end is dropped too). False when the tag
// is not listed; the data is then unchanged.
bool RemoveFirstTag(std::vector<std::uint8_t>& data, std::uint32_t tag);

}  // namespace grouporder
