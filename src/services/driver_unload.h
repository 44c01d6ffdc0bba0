#pragma once
// Letting a running driver go before it is replaced or removed: stopping
// it, removing its devices from the device tree, and opening its control
// device for the hand-over to a new driver.

#include <cstdint>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "utils/unique_handle.h"

namespace services {

// Stops one driver service; 0 for success.
using StopRoutine = std::uint32_t (*)(SdkEventLog& log, const std::wstring& serviceName);

// Stops through the Service Control Manager.
std::uint32_t StopThroughServiceManager(SdkEventLog& log, const std::wstring& serviceName);

// Unloads a file-system filter through the filter manager.
std::uint32_t UnloadFilter(SdkEventLog& log, const std::wstring& serviceName);

// A running service is stopped with `stop`; one that does not run is left
// alone. 0, or the routine's code.
std::uint32_t UnloadDriver(SdkEventLog& log, const std::wstring& serviceName, StopRoutine stop);

// Removes from the device tree every device whose service is one of
// `serviceNames` (compared exactly). 0, or the error of listing the devices.
std::uint32_t RemoveServiceDevices(SdkEventLog& log, const std::vector<std::wstring>& serviceNames);

// Opens \\.\GLOBALROOT\Device\<deviceName>. Raises PlatformError "Error opening driver".
utils::FileHandle OpenDriverDevice(const std::wstring& deviceName);

// The hand-over request to a driver that runs under a temporary service:
// take over from the old one. True when the device accepted it; otherwise
// `error` holds the system error (0 when the call failed without one).
bool SendCommitRequest(const utils::FileHandle& device, std::uint32_t& error);

}  // namespace services
