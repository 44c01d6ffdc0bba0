#include "describe/section_names.h"

namespace describe {
namespace {

std::wstring BaseName(const std::wstring& driver, const WindowsIdentity& windows) {
    return driver + L" Winver='" + std::to_wstring(windows.major) + L"." + std::to_wstring(windows.minor) + L" " +
           windows.architecture;
}

}  // namespace

std::wstring FirstSectionName(const std::wstring& driver, const WindowsIdentity& windows) {
    if (windows.servicePackText.empty()) return BaseName(driver, windows) + L"'";
    return BaseName(driver, windows) + L" " + windows.servicePackText + L"'";
}

std::wstring ServicePackSectionName(const std::wstring& driver, const WindowsIdentity& windows, int level) {
    if (level == 0) return BaseName(driver, windows) + L"'";
    return BaseName(driver, windows) + L" Service Pack " + std::to_wstring(level) + L"'";
}

const wchar_t* ArchitectureWord(std::uint16_t processorArchitecture) {
    constexpr std::uint16_t kIa64 = 6, kAmd64 = 9;
    return processorArchitecture == kIa64 || processorArchitecture == kAmd64 ? L"x64" : L"x86";
}

}  // namespace describe
