#pragma once
// The throw-if-failed helpers of ostra/platform_error.h for calls that report
// their failure through the thread's last error. The caller passes whether
// the call failed (its FALSE, null or invalid-handle result, tested once);
// the last error is read once, and only then.

#include "ostra/platform_error.h"
#include "utils/platform/windows_headers.h"

namespace utils {

// PlatformError(GetLastError(), message) when `failed`.
inline void ThrowLastErrorIf(bool failed, const char* message) {
    if (failed) ThrowPlatformError(::GetLastError(), message);
}

// std::runtime_error "<prefix>0x%08x (text)" with the last error when `failed`.
inline void ThrowLastErrorCodeIf(bool failed, const char* prefix) {
    if (failed) ThrowCodeError(prefix, ::GetLastError());
}

// std::runtime_error "<prefix>" + the last error in lowercase hexadecimal when `failed`.
inline void ThrowLastErrorHexIf(bool failed, const char* prefix) {
    if (failed) ThrowHexError(prefix, ::GetLastError());
}

}  // namespace utils
