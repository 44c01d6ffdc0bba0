#include "utils/windows_version.h"

#include "utils/platform/system_info_api.h"

namespace utils {

std::optional<OSVERSIONINFOEXW> QueryWindowsVersion() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!api::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return std::nullopt;
    return info;
}

bool IsLegacyWindows() {
    const auto version = QueryWindowsVersion();
    return version && version->dwMajorVersion <= 6 && version->dwMinorVersion <= 1;
}

bool IsWindows10OrLater() {
    const auto version = QueryWindowsVersion();
    return version && version->dwMajorVersion >= 10;
}

bool IsX64Processor() {
    SYSTEM_INFO info{};
    api::GetSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

}  // namespace utils
