#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hook/hook_parameters.h"
#include "utils/path_text.h"

namespace {

TEST(VersionText, SplitsEachHalfIntoItsTwoWords) {
    struct Row {
        std::uint32_t ms;
        std::uint32_t ls;
        const wchar_t* text;
    };
    const Row rows[] = {
        {0x0003000E, 0x0000001B, L"3.14.0.27"},
        {0x0004FFFF, 0x01000001, L"4.65535.256.1"},
        {0x00000000, 0x00000000, L"0.0.0.0"},
        {0xFFFFFFFF, 0xFFFFFFFF, L"65535.65535.65535.65535"},
        {0x01000000, 0x00000100, L"256.0.0.256"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.text)));
        EXPECT_EQ(hook::VersionText(row.ms, row.ls), row.text);
    }
}

TEST(InstalledLibraryName, CarriesTheVersionInBraces) {
    EXPECT_EQ(hook::InstalledLibraryName(L"3.14.0.27"), L"vxtraplib.{3.14.0.27}.dll");
}

TEST(JoinKeyPath, Table) {
    struct Row {
        const wchar_t* key;
        const wchar_t* name;
        const wchar_t* joined;
    };
    const Row rows[] = {
        {L"SYSTEM\\Parameters", L"Set1", L"SYSTEM\\Parameters\\Set1"},
        {L"SYSTEM\\Parameters\\", L"Set1", L"SYSTEM\\Parameters\\Set1"},
        {L"SYSTEM\\Parameters", L"Set1\\OverrideParams", L"SYSTEM\\Parameters\\Set1\\OverrideParams"},
        // A slash is an ordinary character in a key name, not a separator.
        {L"SYSTEM/Parameters/", L"Set1", L"SYSTEM/Parameters/\\Set1"},
        {L"", L"Set1", L"Set1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.joined)));
        EXPECT_EQ(hook::JoinKeyPath(row.key, row.name), row.joined);
    }
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int value : values) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

TEST(StringFromValueData, EndsAtTheFirstNulOrTheLastByteRead) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> data;
        std::wstring text;
    };
    const Row rows[] = {
        {"terminated", Bytes({'C', 0, ':', 0, 'x', 0, 0, 0}), L"C:x"},
        {"stored without terminator", Bytes({'C', 0, ':', 0, 'x', 0}), L"C:x"},
        {"odd size: the last byte pairs with an added zero", Bytes({'a', 0, 'b'}), L"ab"},
        {"text after an inner NUL is dropped", Bytes({'a', 0, 0, 0, 'b', 0}), L"a"},
        {"empty data", Bytes({}), L""},
        {"one byte", Bytes({'z'}), L"z"},
        {"only a terminator", Bytes({0, 0}), L""},
        {"a unit above 0xFF keeps its high byte", Bytes({0x1E, 0x04, 'a', 0}), std::wstring(L"\x041E") + L"a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(hook::StringFromValueData(row.data), row.text);
    }
}

// The stored bytes, read back as a GUID's fields, give the switch's GUID text.
TEST(DisableFailSafeGuid, BinaryLayoutOfTheSwitchGuid) {
    const auto& b = hook::kDisableFailSafeGuid;
    const std::uint32_t data1 = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
    const auto data2 = static_cast<std::uint16_t>(b[4] | (b[5] << 8));
    const auto data3 = static_cast<std::uint16_t>(b[6] | (b[7] << 8));
    const std::array<std::uint8_t, 8> data4 = {b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
    EXPECT_EQ(utils::GuidText(data1, data2, data3, data4), L"5A0E7C21-3B94-4F6D-9E82-C41D7A60B3F5");
}

}  // namespace
