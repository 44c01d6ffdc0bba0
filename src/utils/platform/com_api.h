#pragma once
// COM runtime calls (ole32).
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <objbase.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(CoCreateGuid, fail::Result(E_FAIL));
TARNEL_PLATFORM_CALL(CoInitializeEx, fail::Result(E_OUTOFMEMORY));
TARNEL_PLATFORM_CALL(CoUninitialize, fail::Never);
TARNEL_PLATFORM_CALL(CoCreateInstance, fail::Result(REGDB_E_CLASSNOTREG));
TARNEL_PLATFORM_CALL(CoTaskMemFree, fail::Never);

}  // namespace utils::api
