#pragma once
// Installing and removing one driver that its INF file describes: the files
// in the way are moved aside first, the install section and its services are
// applied, the installed files are protected against reboot-time operations
// queued earlier, and a failed install is undone again.

#include <cstdint>
#include <string>

#include "log/event_log.h"

namespace engine {

// Moves every file that the INF's install section is about to write aside
// (and queues the moved copy for deletion at the next start). 0; the error
// number of a PlatformError, or 31, when the INF's file lists cannot be read.
std::uint32_t ClearInstallTargets(SdkEventLog& log, const std::wstring& infPath, bool retryMoves);

// Installs the driver of infDirectory\infName, whose service is `serviceName`.
// A running service that is marked for deletion gets its mark taken back and
// keeps its registration (the ".Services" section is then not applied). 0, or
// the code of the step that failed; once the section was applied, a failure
// removes the driver again.
std::uint32_t InstallInfDriver(SdkEventLog& log, const std::wstring& serviceName, const std::wstring& infDirectory,
                               const std::wstring& infName, bool retryMoves);

// Removes the driver of infDirectory\infName with the INF's uninstall section
// and, when `catalogName` is not empty, its catalog. For "vxearly" its tag is
// first taken out of the early-launch load order (a PlatformError raised
// there passes on). Always 0: failures are only logged.
std::uint32_t UninstallInfDriver(SdkEventLog& log, const std::wstring& driverName, const std::wstring& infDirectory,
                                 const std::wstring& infName, const std::wstring& catalogName);

}  // namespace engine
