#include "inf/placeholder_text.h"

#include <cstddef>

namespace inf {
namespace {

// Every occurrence of `from` in `text` replaced by `to`, left to right; a
// replacement is never searched again.
template <class String, class View>
String ReplaceAll(String text, View from, View to) {
    if (from.empty()) return text;
    std::size_t at = 0;
    while ((at = text.find(from.data(), at, from.size())) != String::npos) {
        text.replace(at, from.size(), to.data(), to.size());
        at += to.size();
    }
    return text;
}

// The lines of `text` (split at LF, a CR before it dropped), each with the
// placeholders replaced and ended in CR LF.
template <class String>
String TransformLines(const String& text, const String& version, const String& guid, const String& versionMark,
                      const String& guidMark) {
    using Char = typename String::value_type;
    using View = std::basic_string_view<Char>;
    String out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(static_cast<Char>('\n'), start);
        const bool hasEnd = end != String::npos;
        if (!hasEnd) end = text.size();
        std::size_t lineEnd = end;
        if (hasEnd && lineEnd > start && text[lineEnd - 1] == static_cast<Char>('\r')) --lineEnd;
        String line = text.substr(start, lineEnd - start);
        line = ReplaceAll(std::move(line), View(versionMark), View(version));
        line = ReplaceAll(std::move(line), View(guidMark), View(guid));
        out += line;
        out += static_cast<Char>('\r');
        out += static_cast<Char>('\n');
        start = end + 1;
    }
    return out;
}

// Each byte one character of the same value (a byte above 0x7F is no
// negative char here, which would give a character of U+FF80 and up).
std::u16string Widen(std::string_view bytes) {
    std::u16string wide;
    wide.reserve(bytes.size());
    for (const char c : bytes) wide.push_back(static_cast<unsigned char>(c));
    return wide;
}

bool IsUtf16WithMark(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

std::u16string DecodeUtf16Le(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    // An odd last byte is no character and is dropped.
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

std::string EncodeUtf16Le(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

}  // namespace

std::string ReplaceInfPlaceholders(std::string_view infBytes, std::string_view version, std::string_view guid) {
    if (!IsUtf16WithMark(infBytes)) {
        return TransformLines(std::string(infBytes), std::string(version), std::string(guid),
                              std::string(kDriverVersionPlaceholder), std::string(kTempServiceGuidPlaceholder));
    }
    const std::u16string text = DecodeUtf16Le(infBytes.substr(2));
    return std::string("\xFF\xFE", 2) + EncodeUtf16Le(TransformLines(text, Widen(version), Widen(guid),
                                                                     Widen(kDriverVersionPlaceholder),
                                                                     Widen(kTempServiceGuidPlaceholder)));
}

}  // namespace inf
