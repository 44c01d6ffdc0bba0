#include "utils/text_case.h"

#include <algorithm>

namespace utils {
namespace {

wchar_t Lower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

wchar_t Upper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

}  // namespace

std::wstring LowerAscii(std::wstring_view text) {
    std::wstring lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), Lower);
    return lowered;
}

std::wstring UpperAscii(std::wstring_view text) {
    std::wstring uppered(text);
    std::transform(uppered.begin(), uppered.end(), uppered.begin(), Upper);
    return uppered;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return Lower(x) == Lower(y); });
}

}  // namespace utils
