#pragma once
// Installing a list of described drivers as one run: the system is checked
// first, loaded drivers are unloaded, every driver is installed in order and,
// when one fails, everything the run installed is taken back. With "no
// reboot" a driver that would wait for a restart runs at once under a
// temporary service and takes over from the old one when the run succeeds.

#include <cstdint>
#include <string>
#include <vector>

#include "describe/driver_description.h"
#include "engine/install_actions.h"
#include "engine/responsibility_transfer.h"
#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace engine {

// Every driver in effect, no restart needed: the value a single driver gives.
inline constexpr std::uint32_t kAllRunning = ostra::kDriverRunning;

// Each driver's service is absent or already carries its delete flag (the
// hooking, auxiliary and packet drivers excepted). 0, 0x8000000D, or the
// code of a query that failed.
std::uint32_t VerifyDeletedDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers);

// Verifies, unloads and installs. kAllRunning, 0 when a restart is needed,
// or the failure code (after the rollback).
std::uint32_t InstallDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers,
                             const std::wstring& vxtraplibDir, bool noReboot);

// Installs the drivers in order with rollback.
std::uint32_t InstallAll(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers,
                         const std::wstring& vxtraplibDir, bool noReboot);

// Installs the driver once more under a temporary service and records its
// device for the hand-over. 0, 1603 when the temporary service does not
// run, or the error of opening its device.
std::uint32_t EnableWithoutReboot(SdkEventLog& log, const describe::DriverDescription& driver,
                                  ResponsibilityTransfer& transfer);

// Removes one driver: 0, 0x424 when its service does not exist, or the failure code.
std::uint32_t UninstallDriver(SdkEventLog& log, const describe::DriverDescription& driver);

// Removes the drivers from the last to the first; a service that does not
// exist is no failure. 0, or the code of the earliest driver that failed.
std::uint32_t UninstallDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers);

}  // namespace engine
