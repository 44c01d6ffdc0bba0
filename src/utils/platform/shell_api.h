#pragma once
// Shell helpers: command-line splitting and path pieces.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <shellapi.h>
#include <shlwapi.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(CommandLineToArgvW);
TARNEL_PLATFORM_CALL(PathFindFileNameW);
TARNEL_PLATFORM_CALL(SHDeleteKeyW);

}  // namespace utils::api
