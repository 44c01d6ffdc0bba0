#pragma once
// Service Control Manager calls (advapi32), the service dispatcher included.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(StartServiceCtrlDispatcherW);
TARNEL_PLATFORM_CALL(RegisterServiceCtrlHandlerW);
TARNEL_PLATFORM_CALL(SetServiceStatus);

TARNEL_PLATFORM_CALL(OpenSCManagerW);
TARNEL_PLATFORM_CALL(OpenServiceW);
TARNEL_PLATFORM_CALL(CloseServiceHandle);
TARNEL_PLATFORM_CALL(QueryServiceStatusEx);
TARNEL_PLATFORM_CALL(QueryServiceConfigW);
TARNEL_PLATFORM_CALL(StartServiceW);
TARNEL_PLATFORM_CALL(ControlService);
TARNEL_PLATFORM_CALL(CreateServiceW);
TARNEL_PLATFORM_CALL(DeleteService);
TARNEL_PLATFORM_CALL(QueryServiceObjectSecurity);
TARNEL_PLATFORM_CALL(SetServiceObjectSecurity);

}  // namespace utils::api
