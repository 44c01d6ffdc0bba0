// A load-order group's tag list ("GroupOrderList"): the search and the
// removal of a tag stay within the bytes read (AddressSanitizer watches their
// end) and within the count, and the removal takes out exactly the first
// listed occurrence.
//
// Input: the tag (32 bits), then the value's data (up to the 2048 bytes the
// installer reads).

#include <vector>

#include "fuzz_input.h"
#include "system/group_order.h"

namespace {

std::vector<std::uint32_t> Entries(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint32_t> entries;
    for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
        entries.push_back(data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) | (static_cast<std::uint32_t>(data[i + 3]) << 24));
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::uint32_t tag = input.U32();
    std::string rest = input.Rest();
    if (rest.size() > 2048) rest.resize(2048);
    std::vector<std::uint8_t> list(rest.begin(), rest.end());
    const std::vector<std::uint8_t> before = list;

    // The first listed index: entries 1 up to the count, and only whole entries read.
    std::vector<std::uint32_t> entries = Entries(before);
    std::size_t found = 0;
    if (entries.size() >= 2) {
        const std::size_t last = std::min<std::size_t>(entries[0], entries.size() - 1);
        for (std::size_t i = 1; i <= last && found == 0; ++i) {
            if (entries[i] == tag) found = i;
        }
    }

    FUZZ_CHECK(grouporder::ContainsTag(list, tag) == (found != 0));
    const bool removed = grouporder::RemoveFirstTag(list, tag);
    FUZZ_CHECK(removed == (found != 0));
    if (!removed) {
        FUZZ_CHECK(list == before);
        return 0;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(found));
    entries[0] -= 1;
    FUZZ_CHECK(list.size() == entries.size() * 4);
    FUZZ_CHECK(Entries(list) == entries);
    return 0;
}
