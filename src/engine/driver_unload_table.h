#pragma once
// The drivers that are stopped before an install or an uninstall, and how.

#include <cstdint>
#include <vector>

#include "describe/driver_description.h"
#include "log/event_log.h"

namespace engine {

// Stops the drivers of the unload table that the list describes: "vxnet"
// through the Service Control Manager, the filters "vxvault" (and first
// "vxvault2") and "vxfsd" through the filter manager. Every entry is tried;
// the last failure that counts is the result ("vxvault"'s own is only logged).
std::uint32_t UnloadDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers);

}  // namespace engine
