#pragma once
// Service Control Manager calls (advapi32), the service dispatcher included.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

TARNEL_PLATFORM_CALL(StartServiceCtrlDispatcherW, fail::False(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
TARNEL_PLATFORM_CALL(RegisterServiceCtrlHandlerW, fail::Null(ERROR_SERVICE_DOES_NOT_EXIST));
TARNEL_PLATFORM_CALL(SetServiceStatus, fail::False(ERROR_INVALID_HANDLE));

TARNEL_PLATFORM_CALL(OpenSCManagerW, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(OpenServiceW, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(CloseServiceHandle, fail::False(ERROR_INVALID_HANDLE));
TARNEL_PLATFORM_CALL(QueryServiceStatusEx, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(QueryServiceConfigW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(StartServiceW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(ControlService, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(CreateServiceW, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(DeleteService, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(QueryServiceObjectSecurity, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetServiceObjectSecurity, fail::False(ERROR_ACCESS_DENIED));

}  // namespace utils::api
