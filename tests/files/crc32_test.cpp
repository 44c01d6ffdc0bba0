#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "files/crc32.h"

namespace {

// The checksum one bit at a time, straight from its definition.
std::uint32_t BitByBit(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}

std::uint32_t OfText(std::string_view text) { return files::Crc32(text.data(), text.size()); }

TEST(Crc32, KnownValues) {
    EXPECT_EQ(OfText(""), 0x00000000u);
    EXPECT_EQ(files::Crc32(nullptr, 0), 0x00000000u);
    EXPECT_EQ(OfText("a"), 0xE8B7BE43u);
    EXPECT_EQ(OfText("abc"), 0x352441C2u);
    EXPECT_EQ(OfText("123456789"), 0xCBF43926u);
    EXPECT_EQ(OfText("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    const std::vector<unsigned char> zeros(32, 0x00);
    const std::vector<unsigned char> ones(32, 0xFF);
    EXPECT_EQ(files::Crc32(zeros.data(), zeros.size()), 0x190A55ADu);
    EXPECT_EQ(files::Crc32(ones.data(), ones.size()), 0xFF6CAB0Bu);
}

// Every length from 0 to 4096 at each of eight start offsets, so that every
// split between the wide steps and the byte-wise tail, on every alignment,
// is compared with the definition; the tables alone as well, since Crc32
// leaves long buffers to the carry-less multiplication where there is one.
TEST(Crc32, EqualsTheBitwiseDefinitionForEveryLengthAndAlignment) {
    constexpr std::size_t kMaxLength = 4096;
    constexpr std::size_t kOffsets = 8;
    std::mt19937 random(20240601);
    std::vector<unsigned char> buffer(kMaxLength + kOffsets);
    for (unsigned char& byte : buffer) byte = static_cast<unsigned char>(random());

    for (std::size_t offset = 0; offset < kOffsets; ++offset) {
        for (std::size_t length = 0; length <= kMaxLength; ++length) {
            const unsigned char* start = buffer.data() + offset;
            const std::uint32_t expected = BitByBit(start, length);
            const std::uint32_t fast = files::Crc32(start, length);
            const std::uint32_t tables = files::Crc32Tables(start, length);
            if (fast != expected || tables != expected) {
                ADD_FAILURE() << "offset " << offset << ", length " << length << ": 0x" << std::hex << fast
                              << " (tables 0x" << tables << ") instead of 0x" << expected;
                return;
            }
        }
    }
}

TEST(Crc32, ContinuesAcrossPieces) {
    std::mt19937 random(7);
    std::vector<unsigned char> buffer(1000);
    for (unsigned char& byte : buffer) byte = static_cast<unsigned char>(random());
    const std::uint32_t whole = files::Crc32(buffer.data(), buffer.size());

    for (std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{17},
                              std::size_t{500}, std::size_t{999}, std::size_t{1000}}) {
        SCOPED_TRACE(split);
        const std::uint32_t first = files::Crc32(buffer.data(), split);
        EXPECT_EQ(files::Crc32(buffer.data() + split, buffer.size() - split, first), whole);
        const std::uint32_t firstByTables = files::Crc32Tables(buffer.data(), split);
        EXPECT_EQ(files::Crc32Tables(buffer.data() + split, buffer.size() - split, firstByTables), whole);
    }
}

}  // namespace
