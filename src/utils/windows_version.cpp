#include "utils/windows_version.h"

#include "utils/platform/system_info_api.h"

namespace utils {

std::optional<OSVERSIONINFOEXW> QueryWindowsVersion() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!api::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return std::nullopt;
    return info;
}

KnownWindowsRelease RunningWindowsRelease() {
    const auto version = QueryWindowsVersion();
    if (!version) return std::nullopt;
    return WindowsRelease{version->dwMajorVersion, version->dwMinorVersion};
}

bool IsLegacyWindows() {
    return IsLegacyRelease(RunningWindowsRelease());
}

bool IsWindows10OrLater() {
    return IsWindows10OrLaterRelease(RunningWindowsRelease());
}

bool IsX64Processor() {
    SYSTEM_INFO info{};
    api::GetSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

}  // namespace utils
