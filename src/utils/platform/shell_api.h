#pragma once
// Shell helpers: command-line splitting and path pieces.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <shellapi.h>
#include <shlwapi.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(CommandLineToArgvW, fail::Null(ERROR_NOT_ENOUGH_MEMORY));
TARNEL_PLATFORM_CALL(PathFindFileNameW, fail::Never);
TARNEL_PLATFORM_CALL(SHDeleteKeyW, fail::Status(ERROR_ACCESS_DENIED));

}  // namespace utils::api
