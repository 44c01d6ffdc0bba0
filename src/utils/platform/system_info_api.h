#pragma once
// Windows version and processor information.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(GetVersionExW);
TARNEL_PLATFORM_CALL(GetSystemInfo);

}  // namespace utils::api
