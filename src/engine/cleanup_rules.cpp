#include "engine/cleanup_rules.h"

#include <cwctype>

namespace engine {
namespace {

bool StartsWithIgnoringCase(const std::wstring& text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::towlower(text[i]) != std::towlower(prefix[i])) return false;
    }
    return true;
}

constexpr std::wstring_view kNtPrefix = L"\\??\\";

}  // namespace

std::wstring UpdateServiceMask(const std::wstring& productId) { return L"VXRENEW_" + productId + L"_"; }

bool MatchesUpdateServiceMask(const std::wstring& serviceName, const std::wstring& mask) {
    return serviceName.size() > mask.size() && StartsWithIgnoringCase(serviceName, mask);
}

bool IsControlSetName(const std::wstring& keyName) {
    return keyName.size() == 13 && StartsWithIgnoringCase(keyName, L"ControlSet");
}

std::wstring ControlSetNumber(std::uint32_t current) {
    std::wstring number = std::to_wstring(current);
    if (number.size() < 3) number.insert(0, 3 - number.size(), L'0');
    return number;
}

bool IsCurrentControlSet(const std::wstring& controlSetName, const std::wstring& number) {
    return controlSetName.size() >= 3 && controlSetName.compare(controlSetName.size() - 3, 3, number) == 0;
}

std::wstring LowerCase(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool ImagePathNeedsWindowsDirectory(const std::wstring& imagePath) {
    return !StartsWithIgnoringCase(imagePath, kNtPrefix);
}

std::wstring DriverFileFromImagePath(const std::wstring& imagePath, const std::wstring& windowsDirectory) {
    const std::wstring text = LowerCase(imagePath);
    if (!ImagePathNeedsWindowsDirectory(text)) return text.substr(kNtPrefix.size());
    constexpr std::wstring_view kDrivers = L"system32\\drivers\\";
    constexpr std::wstring_view kSystemRoot = L"\\systemroot\\";
    constexpr std::wstring_view kSystemRootVariable = L"%systemroot%\\";
    if (StartsWithIgnoringCase(text, kDrivers)) return windowsDirectory + text;
    if (StartsWithIgnoringCase(text, kSystemRoot)) return windowsDirectory + text.substr(kSystemRoot.size());
    if (StartsWithIgnoringCase(text, kSystemRootVariable)) {
        return windowsDirectory + text.substr(kSystemRootVariable.size());
    }
    return text;
}

}  // namespace engine
