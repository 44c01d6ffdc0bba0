#pragma once
// Fakes for the platform seam: another Windows version, service pack or
// processor than the one Wine reports, for the life of the object.

#include "utils/platform/system_info_api.h"

namespace testsupport {

struct ReportedWindowsVersion {
    DWORD major = 0;
    DWORD minor = 0;
    WORD servicePackMajor = 0;
    const wchar_t* servicePackText = nullptr;  // null: the call fails
};

class FakeWindowsVersion {
public:
    FakeWindowsVersion(DWORD major, DWORD minor, WORD servicePackMajor = 0, const wchar_t* servicePackText = L"")
        : guard_(utils::api::GetVersionExW, &Report) {
        current = {major, minor, servicePackMajor, servicePackText};
    }
    ~FakeWindowsVersion() { current = {}; }

    // GetVersionExW fails with ERROR_INVALID_PARAMETER.
    static FakeWindowsVersion Failing() { return FakeWindowsVersion(); }

private:
    inline static ReportedWindowsVersion current{};

    FakeWindowsVersion() : guard_(utils::api::GetVersionExW, &Report) { current = {}; }

    static BOOL WINAPI Report(LPOSVERSIONINFOW info) {
        if (!current.servicePackText) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        auto* extended = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        extended->dwMajorVersion = current.major;
        extended->dwMinorVersion = current.minor;
        extended->dwBuildNumber = current.major >= 10 ? 19045 : 7601;
        extended->dwPlatformId = VER_PLATFORM_WIN32_NT;
        lstrcpynW(extended->szCSDVersion, current.servicePackText, 128);
        if (info->dwOSVersionInfoSize >= sizeof(OSVERSIONINFOEXW)) {
            extended->wServicePackMajor = current.servicePackMajor;
            extended->wServicePackMinor = 0;
        }
        return TRUE;
    }

    utils::ScopedOverride<decltype(utils::api::GetVersionExW)> guard_;
};

}  // namespace testsupport
