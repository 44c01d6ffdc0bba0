#pragma once
// What every fuzz target shares: a reader that takes typed values off the
// front of the input, and a check that holds in every build (NDEBUG or not):
// a broken property prints where and aborts, which libFuzzer reports as a
// crash and the corpus replay as a failed test.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

namespace fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return offset_ >= size_; }
    std::size_t Remaining() const { return size_ - offset_; }

    std::uint8_t Byte() { return Empty() ? 0 : data_[offset_++]; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
    std::uint32_t U32() { return U16() | (static_cast<std::uint32_t>(U16()) << 16); }
    bool Flag() { return (Byte() & 1) != 0; }

    // Bytes up to a NUL (taken, not kept) or the end.
    std::string Narrow() {
        std::string text;
        while (!Empty()) {
            const char c = static_cast<char>(Byte());
            if (c == '\0') break;
            text.push_back(c);
        }
        return text;
    }

    // UTF-16LE units up to a NUL unit (taken, not kept) or the end; each unit
    // one wchar_t, as on Windows.
    std::wstring Wide() {
        std::wstring text;
        while (Remaining() >= 2) {
            const wchar_t unit = U16();
            if (unit == L'\0') break;
            text.push_back(unit);
        }
        if (Remaining() == 1) Byte();
        return text;
    }

    // Everything not yet taken.
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(data_ + offset_), Remaining());
        offset_ = size_;
        return rest;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

}  // namespace fuzz
