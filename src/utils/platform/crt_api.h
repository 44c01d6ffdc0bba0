#pragma once
// C runtime calls on file paths; they fail with errno, not the last error.
#include <errno.h>
#include <io.h>
#include <stdlib.h>

#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(_waccess, fail::Errno(-1, EACCES));
TARNEL_PLATFORM_CALL(_wfullpath, fail::Errno(0, ERANGE));

}  // namespace utils::api
