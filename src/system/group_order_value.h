#pragma once
// The tag lists of the load-order groups, as the registry keeps them under
// "GroupOrderList" (one binary value per group).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace grouporder {

// The group's order list, at most 2048 bytes; nothing when it cannot be read.
// A value of another type than REG_BINARY is no tag list and holds no tags.
std::optional<std::vector<std::uint8_t>> ReadGroupOrder(const std::wstring& group);

// Replaces the group's order list. False when the key cannot be opened or the write fails.
bool WriteGroupOrder(const std::wstring& group, const std::vector<std::uint8_t>& data);

}  // namespace grouporder
