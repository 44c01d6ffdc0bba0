#include "system/group_order.h"

#include <cstring>

namespace grouporder {
namespace {

constexpr std::size_t kEntry = sizeof(std::uint32_t);

std::uint32_t EntryAt(const std::vector<std::uint8_t>& data, std::size_t index) {
    std::uint32_t value = 0;
    for (std::size_t byte = 0; byte < kEntry; ++byte) {
        value |= static_cast<std::uint32_t>(data[index * kEntry + byte]) << (8 * byte);
    }
    return value;
}

void SetEntry(std::vector<std::uint8_t>& data, std::size_t index, std::uint32_t value) {
    for (std::size_t byte = 0; byte < kEntry; ++byte) {
        data[index * kEntry + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
    }
}

// Index of the first listed `tag`, or 0 when there is none. Only whole
// entries that were read, and no more than the count claims, are searched.
std::size_t FindTag(const std::vector<std::uint8_t>& data, std::uint32_t tag) {
    const std::size_t entries = data.size() / kEntry;
    if (entries < 2) return 0;
    const std::uint32_t count = EntryAt(data, 0);
    const std::size_t last = count < entries - 1 ? count : entries - 1;
    for (std::size_t index = 1; index <= last; ++index) {
        if (EntryAt(data, index) == tag) return index;
    }
    return 0;
}

}  // namespace

bool ContainsTag(const std::vector<std::uint8_t>& data, std::uint32_t tag) { return FindTag(data, tag) != 0; }

bool RemoveFirstTag(std::vector<std::uint8_t>& data, std::uint32_t tag) {
    const std::size_t index = FindTag(data, tag);
    if (index == 0) return false;
    // A partial entry at the end is dropped with the removed tag.
    const std::size_t entries = data.size() / kEntry;
    data.resize(entries * kEntry);
    std::memmove(data.data() + index * kEntry, data.data() + (index + 1) * kEntry, (entries - index - 1) * kEntry);
    SetEntry(data, 0, EntryAt(data, 0) - 1);
    data.resize(data.size() - kEntry);
    return true;
}

}  // namespace grouporder
