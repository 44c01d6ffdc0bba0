#pragma once
// Private profile (ini file) calls.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(GetPrivateProfileStringW, fail::Value(0, ERROR_FILE_NOT_FOUND));

}  // namespace utils::api
