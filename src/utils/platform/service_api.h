#pragma once
// Service Control Manager calls (advapi32), the service dispatcher included.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(StartServiceCtrlDispatcherW);
TARNEL_PLATFORM_CALL(RegisterServiceCtrlHandlerW);
TARNEL_PLATFORM_CALL(SetServiceStatus);

}  // namespace utils::api
