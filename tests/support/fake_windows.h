#pragma once
// Fakes for the platform seam: another Windows version, service pack or
// processor than the one Wine reports, for the life of the object. Each puts
// back what it replaced, the slot and the reported values, so fakes may nest.

#include "utils/platform/system_info_api.h"

namespace testsupport {

struct ReportedWindowsVersion {
    DWORD major = 0;
    DWORD minor = 0;
    WORD servicePackMajor = 0;
    const wchar_t* servicePackText = nullptr;  // null: the call fails
};

// GetVersionExW reports the given version.
class FakeWindowsVersion {
public:
    FakeWindowsVersion(DWORD major, DWORD minor, WORD servicePackMajor = 0, const wchar_t* servicePackText = L"")
        : FakeWindowsVersion(ReportedWindowsVersion{major, minor, servicePackMajor, servicePackText}) {}
    ~FakeWindowsVersion() { current = previous_; }

    // GetVersionExW fails with ERROR_INVALID_PARAMETER.
    static FakeWindowsVersion Failing() { return FakeWindowsVersion(ReportedWindowsVersion{}); }

private:
    inline static ReportedWindowsVersion current{};

    explicit FakeWindowsVersion(const ReportedWindowsVersion& reported)
        : previous_(current), guard_(utils::api::GetVersionExW, &Report) {
        current = reported;
    }

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

    ReportedWindowsVersion previous_;
    utils::ScopedOverride<decltype(utils::api::GetVersionExW)> guard_;
};

// GetSystemInfo reports the given processor architecture
// (PROCESSOR_ARCHITECTURE_...); the rest of the record is the real one.
class FakeProcessor {
public:
    explicit FakeProcessor(WORD architecture) : previous_(current), guard_(utils::api::GetSystemInfo, &Report) {
        current = architecture;
    }
    ~FakeProcessor() { current = previous_; }

private:
    inline static WORD current = 0;

    static void WINAPI Report(LPSYSTEM_INFO info) {
        ::GetSystemInfo(info);
        info->wProcessorArchitecture = current;
    }

    WORD previous_;
    utils::ScopedOverride<decltype(utils::api::GetSystemInfo)> guard_;
};

}  // namespace testsupport
