#include "inf/placeholder_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char kGuid[] = "0a1b2c3d-0000-4000-8000-00000000abcd";

std::string Utf16(const std::u16string& text) {
    std::string bytes("\xFF\xFE", 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

TEST(ReplaceInfPlaceholders, EightBitLines) {
    struct Row {
        const char* name;
        std::string in;
        std::string out;
    };
    const Row rows[] = {
        {"both placeholders, twice", "AddService = vx-$temp-service-guid,,s\nV=$driver-version $driver-version\n",
         std::string("AddService = vx-") + kGuid + ",,s\r\nV=1.0.0.2 1.0.0.2\r\n"},
        {"a line without placeholders is copied", "[Version]\r\nSignature = \"$Windows NT$\"\r\n",
         "[Version]\r\nSignature = \"$Windows NT$\"\r\n"},
        {"a last line without its end gets one", "a\nb", "a\r\nb\r\n"},
        {"empty lines stay", "a\n\n\r\nb\n", "a\r\n\r\n\r\nb\r\n"},
        {"a lone CR stays in its line", "a\rb\n", "a\rb\r\n"},
        {"nothing", "", ""},
        {"a replacement is not searched again", "$driver-version\n", "$driver-version-x\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string version = std::string(row.name) == "a replacement is not searched again"
                                        ? "$driver-version-x"
                                        : "1.0.0.2";
        EXPECT_EQ(inf::ReplaceInfPlaceholders(row.in, version, kGuid), row.out);
    }
}

TEST(ReplaceInfPlaceholders, Utf16KeepsItsEncodingAndMark) {
    const std::string in = Utf16(u"[Version]\r\nDriverVer = 01/01/2024,1.0.0.1\r\nName = \u00e9-$temp-service-guid\nV=$driver-version");
    const std::string expected =
        Utf16(u"[Version]\r\nDriverVer = 01/01/2024,1.0.0.1\r\nName = \u00e9-0a1b2c3d-0000-4000-8000-00000000abcd\r\nV=1.0.0.2\r\n");
    EXPECT_EQ(inf::ReplaceInfPlaceholders(in, "1.0.0.2", kGuid), expected);
    // A mark alone, and a stray odd byte after the last character.
    EXPECT_EQ(inf::ReplaceInfPlaceholders(std::string("\xFF\xFE", 2), "v", kGuid), std::string("\xFF\xFE", 2));
    EXPECT_EQ(inf::ReplaceInfPlaceholders(Utf16(u"a") + "x", "v", kGuid), Utf16(u"a\r\n"));
}

TEST(ReplaceInfPlaceholders, Utf16TakesAByteAbove0x7FAsTheCharacterOfThatValue) {
    // Not U+FFE9, as a sign-extended char would give.
    EXPECT_EQ(inf::ReplaceInfPlaceholders(Utf16(u"V=$driver-version"), "1.\xE9", kGuid), Utf16(u"V=1.\u00e9\r\n"));
}

}  // namespace
