#pragma once
// Services that were deleted while their driver was still loaded. The Service
// Control Manager keeps such a service until the next start, records the mark
// as "DeleteFlag" = 1 in the service's key and refuses most changes to it.
// These operations read and set that value, ask the manager whether a service
// is marked, and take the mark back before a driver is installed over it.
//
// None of them raises: every failure is the result, 0 meaning success.

#include <string>

#include "log/event_log.h"
#include "services/service_control.h"

namespace services {

// `flag` is true when the service's "DeleteFlag" is 1, false when it is
// missing or holds any other value. A key that cannot be opened gives the
// registry's error number (2 for a service that does not exist) and leaves
// `flag` as it was.
Win32Error GetServiceDeleteFlag(const std::wstring& serviceName, bool& flag);

// Writes "DeleteFlag" = 1 (REG_DWORD) into the service's key.
Win32Error SetServiceDeleteFlag(const std::wstring& serviceName);

// For the service that the INF at `infPath` installs: writes the service's
// access rules back unchanged, which only a service marked for deletion
// refuses (ERROR_SERVICE_MARKED_FOR_DELETE). `marked` is written only when
// the result is 0. 31 when the INF names no service.
Win32Error IsServiceMarkedForDeletion(SdkEventLog& log, const std::wstring& infPath, bool& marked);

// For the service that the INF at `infPath` installs: removes "DeleteFlag"
// (a missing one is fine) and writes the INF's "StartType" into "Start".
// 31 when the INF names no service or start type.
Win32Error UnmarkServiceForDeletion(SdkEventLog& log, const std::wstring& infPath);

}  // namespace services
