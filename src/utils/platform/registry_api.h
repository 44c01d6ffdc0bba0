#pragma once
// Registry calls (advapi32): keys, subkeys and values.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(RegOpenKeyExW);
TARNEL_PLATFORM_CALL(RegCloseKey);
TARNEL_PLATFORM_CALL(RegQueryInfoKeyW);
TARNEL_PLATFORM_CALL(RegEnumKeyW);
TARNEL_PLATFORM_CALL(RegEnumKeyExW);
TARNEL_PLATFORM_CALL(RegQueryValueExW);
TARNEL_PLATFORM_CALL(RegSetValueExW);
TARNEL_PLATFORM_CALL(RegDeleteValueW);
TARNEL_PLATFORM_CALL(RegDeleteKeyW);
TARNEL_PLATFORM_CALL(RegDeleteTreeW);
TARNEL_PLATFORM_CALL(RegFlushKey);
TARNEL_PLATFORM_CALL(RegUnLoadKeyW);
TARNEL_PLATFORM_CALL(RegLoadKeyW);
TARNEL_PLATFORM_CALL(RegCreateKeyExW);

}  // namespace utils::api
