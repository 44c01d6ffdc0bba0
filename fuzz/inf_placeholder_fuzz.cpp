// The text of a temporary INF, in both encodings (8-bit, and UTF-16LE with
// the mark FF FE): the text outside the placeholders comes through unchanged
// line by line, every line ends in CR LF, and the two encodings agree.
//
// Input: the driver version and the GUID text (bytes, each ended by a NUL),
// then the INF's bytes.

#include "fuzz_input.h"
#include "inf/placeholder_text.h"

namespace {

constexpr std::string_view kMark("\xFF\xFE", 2);

// One line with every `from` replaced by `to`, scanning left to right and
// never looking into a replacement.
template <class String>
String Replaced(const String& line, const String& from, const String& to) {
    String out;
    for (std::size_t i = 0; i < line.size();) {
        if (line.compare(i, from.size(), from) == 0) {
            out += to;
            i += from.size();
        } else {
            out += line[i++];
        }
    }
    return out;
}

// The transform written plainly: split at LF, drop a CR right before it,
// replace, end each line with CR LF.
template <class String>
String Reference(const String& text, const String& version, const String& guid, const String& versionMark,
                 const String& guidMark) {
    using Char = typename String::value_type;
    String out;
    String line;
    // Only a CR right before an LF belongs to the line end; a last line
    // without LF keeps a CR of its own.
    auto finish = [&](bool endedByLf) {
        if (endedByLf && !line.empty() && line.back() == static_cast<Char>('\r')) line.pop_back();
        out += Replaced(Replaced(line, versionMark, version), guidMark, guid);
        out += static_cast<Char>('\r');
        out += static_cast<Char>('\n');
        line.clear();
    };
    for (const Char c : text) {
        if (c == static_cast<Char>('\n')) {
            finish(true);
        } else {
            line += c;
        }
    }
    if (!line.empty()) finish(false);
    return out;
}

std::u16string Widen(std::string_view bytes) {
    std::u16string wide;
    for (const char c : bytes) wide.push_back(static_cast<unsigned char>(c));
    return wide;
}

std::string EncodeUtf16Le(const std::u16string& text) {
    std::string bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::u16string DecodeUtf16Le(std::string_view bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::string version = input.Narrow();
    const std::string guid = input.Narrow();
    const std::string inf = input.Rest();
    const std::string versionMark(inf::kDriverVersionPlaceholder);
    const std::string guidMark(inf::kTempServiceGuidPlaceholder);

    const std::string out = inf::ReplaceInfPlaceholders(inf, version, guid);
    const bool wide = inf.substr(0, 2) == kMark;
    if (!wide) {
        FUZZ_CHECK(out == Reference(inf, version, guid, versionMark, guidMark));
        // Replacing each placeholder by itself gives the text back, only with CR LF line ends.
        FUZZ_CHECK(inf::ReplaceInfPlaceholders(inf, versionMark, guidMark) ==
                   Reference(inf, versionMark, guidMark, versionMark, guidMark));
        // The same text as UTF-16LE with the mark gives the same result in that encoding.
        const std::string asUtf16 = std::string(kMark) + EncodeUtf16Le(Widen(inf));
        FUZZ_CHECK(inf::ReplaceInfPlaceholders(asUtf16, version, guid) == std::string(kMark) + EncodeUtf16Le(Widen(out)));
    } else {
        FUZZ_CHECK(out.substr(0, 2) == kMark && out.size() % 2 == 0);
        const std::u16string text = DecodeUtf16Le(inf.substr(2));
        const std::u16string expected =
            Reference(text, Widen(version), Widen(guid), Widen(versionMark), Widen(guidMark));
        FUZZ_CHECK(out.substr(2) == EncodeUtf16Le(expected));
    }
    return 0;
}
