#include "system/group_order.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> Entries(std::initializer_list<std::uint32_t> values) {
    std::vector<std::uint8_t> data;
    for (std::uint32_t value : values) {
        for (int byte = 0; byte < 4; ++byte) data.push_back(static_cast<std::uint8_t>(value >> (8 * byte)));
    }
    return data;
}

TEST(GroupOrder, RemovesTheFirstOccurrenceOnly) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> data;
        std::uint32_t tag;
        bool removed;
        std::vector<std::uint8_t> expected;
    };
    std::vector<std::uint8_t> oddSize = Entries({2, 5, 7});
    oddSize.push_back(0xAA);
    const Case cases[] = {
        {"middle", Entries({3, 5, 7, 9}), 7, true, Entries({2, 5, 9})},
        {"last", Entries({3, 5, 7, 9}), 9, true, Entries({2, 5, 7})},
        {"twice", Entries({4, 5, 7, 9, 7}), 7, true, Entries({3, 5, 9, 7})},
        {"absent", Entries({3, 5, 7, 9}), 8, false, Entries({3, 5, 7, 9})},
        {"count zero", Entries({0, 7}), 7, false, Entries({0, 7})},
        {"count claims more than was read", Entries({40, 5, 7}), 7, true, Entries({39, 5})},
        {"count claims less", Entries({1, 5, 7}), 7, false, Entries({1, 5, 7})},
        {"partial entry at the end", oddSize, 5, true, Entries({1, 7})},
        {"only the count", Entries({1}), 1, false, Entries({1})},
        {"empty", {}, 0, false, {}},
        {"three bytes", {1, 0, 0}, 1, false, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> data = c.data;
        EXPECT_EQ(grouporder::ContainsTag(data, c.tag), c.removed);
        EXPECT_EQ(grouporder::RemoveFirstTag(data, c.tag), c.removed);
        EXPECT_EQ(data, c.expected);
    }
}

}  // namespace
