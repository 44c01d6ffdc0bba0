#pragma once
// Windows version and processor information.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(GetVersionExW, fail::False(ERROR_INVALID_PARAMETER));
TARNEL_PLATFORM_CALL(GetSystemInfo, fail::Never);

}  // namespace utils::api
