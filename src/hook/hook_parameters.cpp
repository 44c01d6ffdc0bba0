#include "hook/hook_parameters.h"

#include <sstream>

namespace hook {

std::wstring VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
    std::wostringstream text;
    text << (mostSignificant >> 16) << L'.' << (mostSignificant & 0xFFFF) << L'.' << (leastSignificant >> 16) << L'.'
         << (leastSignificant & 0xFFFF);
    return text.str();
}

std::wstring InstalledLibraryName(std::wstring_view version) {
    std::wstring name = L"vxtraplib.{";
    name.append(version);
    name.append(L"}.dll");
    return name;
}

std::wstring JoinKeyPath(std::wstring_view keyPath, std::wstring_view name) {
    std::wstring joined(keyPath);
    if (!joined.empty() && joined.back() != L'\\') joined.push_back(L'\\');
    joined.append(name);
    return joined;
}

std::wstring StringFromValueData(std::vector<std::uint8_t> data) {
    data.push_back(0);
    data.push_back(0);
    const std::size_t units = data.size() / 2;
    std::wstring text;
    for (std::size_t i = 0; i < units; ++i) {
        // Registry data is UTF-16 little-endian, whatever the host's byte order.
        const wchar_t unit = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
}

}  // namespace hook
