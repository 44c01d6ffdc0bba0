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

std::vector<std::wstring> WalkDownSectionNames(const std::wstring& driver, const WindowsIdentity& windows,
                                               std::uint16_t servicePackMajor) {
    std::vector<std::wstring> names;
    if (servicePackMajor == 0) return names;
    names.reserve(servicePackMajor + 1u);
    for (int level = servicePackMajor; level >= 0; --level) names.push_back(ServicePackSectionName(driver, windows, level));
    return names;
}

const wchar_t* ArchitectureWord(std::uint16_t processorArchitecture) {
    constexpr std::uint16_t kIa64 = 6, kAmd64 = 9;
    return processorArchitecture == kIa64 || processorArchitecture == kAmd64 ? L"x64" : L"x86";
}

}  // namespace describe
