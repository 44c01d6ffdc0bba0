#pragma once
// Conversations with the Service Control Manager. Each operation opens what
// it needs, logs what it did and returns a plain Win32 error number (0 on
// success); callers compare it with known numbers such as
// ERROR_SERVICE_DOES_NOT_EXIST (0x424).

#include <cstdint>
#include <string>

#include "log/event_log.h"
#include "services/service_handle.h"

namespace services {

using Win32Error = std::uint32_t;

struct SelfServiceExitCodes {
    std::uint32_t win32ExitCode = 0;
    std::uint32_t serviceSpecificExitCode = 0;
    std::uint32_t processId = 0;  // the process the service runs in; 0 when none
};

// The name logged for a service state, "<Unknown>" for numbers without one.
const char* ServiceStateName(std::uint32_t state);

// Opens a service with full access; throws std::system_error.
ServiceHandle OpenServiceByName(const std::wstring& name);

Win32Error CheckIsServiceFound(SdkEventLog& log, const std::wstring& name, bool& found);
Win32Error QueryServiceState(SdkEventLog& log, const std::wstring& name, std::uint32_t& state,
                             SelfServiceExitCodes& exitCodes);
// The service's state after the line "<name> state: 0x%08x (<state name>)";
// 0 when it cannot be queried (the failure is logged).
std::uint32_t LoggedServiceState(SdkEventLog& log, const std::wstring& name);
bool IsServiceRunning(SdkEventLog& log, const std::wstring& name);
// Starts the service with `argument` as its one start argument, or with none
// when it is empty. Does not wait.
Win32Error StartServiceWithArgument(SdkEventLog& log, const std::wstring& name, const std::wstring& argument);
// Asks the service to stop. Does not wait.
Win32Error StopServiceByName(SdkEventLog& log, const std::wstring& name);
// An own-process, demand-start service running `imagePath` + " " + `arguments`
// as the local system account, which only the local system account and the
// Administrators may open.
Win32Error CreateDemandStartService(SdkEventLog& log, const std::wstring& name, const std::wstring& imagePath,
                                    const std::wstring& arguments);
// Marks the service for deletion.
Win32Error DeleteServiceByName(SdkEventLog& log, const std::wstring& name);

}  // namespace services
