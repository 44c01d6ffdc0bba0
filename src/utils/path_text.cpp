#include "utils/path_text.h"

namespace utils {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

void AppendHex(std::wstring& out, std::uint64_t value, int digits) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
}

}  // namespace

std::wstring AppendPath(std::wstring_view first, std::wstring_view second) {
    std::wstring path(first);
    if (!path.empty() && !IsSeparator(path.back())) path.push_back(L'\\');
    path.append(second);
    return path;
}

std::wstring ParentPath(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring_view::npos) {
        return path.size() >= 2 && path[1] == L':' ? std::wstring(path.substr(0, 2)) : std::wstring();
    }
    if (separator == 0) return std::wstring(path.substr(0, 1));
    if (path[separator - 1] == L':') return std::wstring(path.substr(0, separator + 1));
    return std::wstring(path.substr(0, separator));
}

std::wstring GuidText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                      const std::array<std::uint8_t, 8>& data4) {
    std::wstring text;
    text.reserve(36);
    AppendHex(text, data1, 8);
    text.push_back(L'-');
    AppendHex(text, data2, 4);
    text.push_back(L'-');
    AppendHex(text, data3, 4);
    text.push_back(L'-');
    AppendHex(text, data4[0], 2);
    AppendHex(text, data4[1], 2);
    text.push_back(L'-');
    for (std::size_t i = 2; i < data4.size(); ++i) AppendHex(text, data4[i], 2);
    return text;
}

}  // namespace utils
