#pragma once
// Text helpers for tests; platform-free, so native tests can use them too.

#include <cstddef>
#include <string>
#include <string_view>

namespace testsupport {

// Wide text as narrow text, each character cut to its low byte: for the
// ASCII paths and names that tests build and the installer logs as such.
inline std::string Narrow(std::wstring_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t unit : text) narrow.push_back(static_cast<char>(unit));
    return narrow;
}

// A GUID as the installer writes it into names: 8-4-4-4-12 upper-case hex digits.
inline bool IsGuidText(std::wstring_view text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) return false;
    }
    return true;
}

}  // namespace testsupport
