#include "services/image_path_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Utf16(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

TEST(ImagePathFromValueData, TextUpToTheFirstNulAndNeverPastTheData) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> data;
        std::wstring text;
    };
    auto withTail = [](std::u16string text, std::vector<std::uint8_t> tail) {
        auto bytes = Utf16(text);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    };
    const Row rows[] = {
        {"terminated", withTail(u"System32\\drivers\\vxmon.sys", {0, 0}), L"System32\\drivers\\vxmon.sys"},
        {"no NUL: the data ends the text", Utf16(u"\\??\\C:\\a.sys"), L"\\??\\C:\\a.sys"},
        {"data after an embedded NUL is not read", withTail(u"a", {0, 0, 'b', 0}), L"a"},
        {"an odd last byte is the low byte of a last unit", withTail(u"ab", {'c'}), L"abc"},
        {"one byte", {'x'}, L"x"},
        {"no data", {}, L""},
        {"a unit above 0xFF", Utf16(u"\u00e9\u4e2d"), L"\u00e9\u4e2d"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(services::ImagePathFromValueData(row.data.data(), row.data.size()), row.text);
    }
    EXPECT_EQ(services::ImagePathFromValueData(nullptr, 0), L"");
}

}  // namespace
