#pragma once
// The removal of the legacy device keys that Windows 7 and earlier keep for
// every non-Plug-and-Play driver, once the drivers are gone.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "describe/driver_description.h"
#include "log/event_log.h"

namespace engine {

// The keys of `subkeys` that belong to the described drivers, and the
// services (lower case) whose devices go with them.
void FindLegacyKeys(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers,
                    const std::vector<std::wstring>& subkeys, std::vector<std::wstring>& keysToDelete,
                    std::set<std::wstring>& servicesToRemove);

// Removes the product's "LEGACY_<SERVICE>" keys under Enum\Root and their
// devices. 0; 0x80070057 when a driver is not described for this system; the
// registry's error when Enum\Root cannot be opened or listed.
std::uint32_t CleanupLegacyKeys(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers);

}  // namespace engine
