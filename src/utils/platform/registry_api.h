#pragma once
// Registry calls (advapi32): keys, subkeys and values.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(RegOpenKeyExW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegCloseKey, fail::Status(ERROR_INVALID_HANDLE));
TARNEL_PLATFORM_CALL(RegQueryInfoKeyW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegEnumKeyW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegEnumKeyExW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegQueryValueExW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegSetValueExW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegDeleteValueW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegDeleteKeyW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegDeleteTreeW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegFlushKey, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegUnLoadKeyW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegLoadKeyW, fail::Status(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(RegCreateKeyExW, fail::Status(ERROR_ACCESS_DENIED));

}  // namespace utils::api
