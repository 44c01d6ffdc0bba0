#pragma once
// Private profile (ini file) calls.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(GetPrivateProfileStringW);

}  // namespace utils::api
