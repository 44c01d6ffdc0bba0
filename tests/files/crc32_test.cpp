#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string_view>
#include <vector>

#include "files/crc32.h"

namespace {

// The checksum one bit at a time, straight from its definition.
std::uint32_t BitByBitStep(std::uint32_t crc, unsigned char byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    return crc;
}

std::uint32_t BitByBit(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) crc = BitByBitStep(crc, data[i]);
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

const files::Crc32Method kMethods[] = {files::Crc32Method::Tables, files::Crc32Method::Carryless128,
                                      files::Crc32Method::Carryless256, files::Crc32Method::Carryless512};

std::vector<unsigned char> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(size);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
    return bytes;
}

// The methods this processor allows; the others are named, so a run on a
// processor without them shows what it did not check.
std::vector<files::Crc32Method> SupportedMethods() {
    std::vector<files::Crc32Method> methods;
    for (files::Crc32Method method : kMethods) {
        if (files::Crc32Supported(method)) {
            methods.push_back(method);
        } else {
            std::printf("not checked on this processor: %s\n", files::Crc32MethodName(method));
        }
    }
    return methods;
}

TEST(Crc32, TheFastestMethodIsSupportedAndUsed) {
    const files::Crc32Method fastest = files::Crc32Fastest();
    EXPECT_TRUE(files::Crc32Supported(fastest));
    EXPECT_TRUE(files::Crc32Supported(files::Crc32Method::Tables));
    for (files::Crc32Method method : kMethods) {
        if (static_cast<int>(method) > static_cast<int>(fastest)) {
            EXPECT_FALSE(files::Crc32Supported(method)) << files::Crc32MethodName(method);
        }
    }
    std::printf("Crc32 uses %s\n", files::Crc32MethodName(fastest));
}

// Every length from 0 to 4096 at start offsets that cover every alignment
// to a 64-byte register, by every method this processor allows (each one
// forced), so that every split between the wide steps, the 16-byte lanes
// and the byte-wise tail is compared with the definition. The definition's
// register runs along the buffer, giving the expected checksum of every
// prefix in one pass.
TEST(Crc32, EveryMethodEqualsTheBitwiseDefinitionForEveryLengthAndAlignment) {
    constexpr std::size_t kMaxLength = 4096;
    const std::size_t offsets[] = {0, 1, 2, 3, 5, 8, 15, 16, 31, 33, 48, 63};
    const std::vector<unsigned char> buffer = RandomBytes(kMaxLength + 64, 20240601);
    const std::vector<files::Crc32Method> methods = SupportedMethods();

    for (std::size_t offset : offsets) {
        const unsigned char* start = buffer.data() + offset;
        std::uint32_t definition = 0xFFFFFFFF;
        for (std::size_t length = 0; length <= kMaxLength; ++length) {
            if (length > 0) definition = BitByBitStep(definition, start[length - 1]);
            const std::uint32_t expected = ~definition;
            for (files::Crc32Method method : methods) {
                const std::uint32_t got = files::Crc32By(method, start, length);
                if (got != expected) {
                    ADD_FAILURE() << files::Crc32MethodName(method) << ", offset " << offset << ", length " << length
                                  << ": 0x" << std::hex << got << " instead of 0x" << expected;
                    return;
                }
            }
            if (files::Crc32(start, length) != expected) {
                ADD_FAILURE() << "Crc32, offset " << offset << ", length " << length;
                return;
            }
        }
    }
}

// A large buffer of odd length at an odd start, whole and in pieces whose
// borders fall inside the wide steps.
TEST(Crc32, EveryMethodAgreesOnALargeBufferWholeAndInPieces) {
    const std::vector<unsigned char> buffer = RandomBytes((3u << 20) + 77, 99);
    const unsigned char* start = buffer.data() + 1;
    const std::size_t size = buffer.size() - 1;
    const std::uint32_t expected = BitByBit(start, size);

    for (files::Crc32Method method : SupportedMethods()) {
        SCOPED_TRACE(files::Crc32MethodName(method));
        EXPECT_EQ(files::Crc32By(method, start, size), expected);
        std::uint32_t pieces = 0;
        std::size_t done = 0;
        for (std::size_t piece : {std::size_t{300}, std::size_t{4097}, std::size_t{65536 + 7}, std::size_t{1} << 20}) {
            pieces = files::Crc32By(method, start + done, piece, pieces);
            done += piece;
        }
        EXPECT_EQ(files::Crc32By(method, start + done, size - done, pieces), expected);
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
