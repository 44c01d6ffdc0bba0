#pragma once
// The running Windows version as the installer decides on it.

#include <optional>

#include "utils/platform/windows_headers.h"
#include "utils/windows_release.h"

namespace utils {

// GetVersionExW with the extended record; nothing when the call fails.
std::optional<OSVERSIONINFOEXW> QueryWindowsVersion();

// The running version's major and minor numbers; nothing when they cannot be read.
KnownWindowsRelease RunningWindowsRelease();

// Windows 7 / Server 2008 R2 and earlier (major at most 6, minor at most 1);
// false when the version cannot be read.
bool IsLegacyWindows();

// Windows 10 or later; false when the version cannot be read.
bool IsWindows10OrLater();

// The processor counts as 64-bit (the "ntamd64" INF sections) for AMD64 and IA64.
bool IsX64Processor();

}  // namespace utils
