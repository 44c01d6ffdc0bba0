#pragma once
// COM runtime calls (ole32).
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <objbase.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(CoCreateGuid, fail::Result(E_FAIL));

}  // namespace utils::api
