#include "engine/driver_unload_table.h"

#include <algorithm>
#include <array>
#include <string>

#include "services/driver_unload.h"

namespace engine {
namespace {

struct UnloadEntry {
    const wchar_t* driver;
    services::StopRoutine stop;
    bool failureIgnored;
};

constexpr std::array<UnloadEntry, 3> kUnloadTable{{
    {L"vxnet", &services::StopThroughServiceManager, false},
    {L"vxvault", &services::UnloadFilter, true},
    {L"vxfsd", &services::UnloadFilter, false},
}};

}  // namespace

std::uint32_t UnloadDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers) {
    std::uint32_t result = 0;
    for (const UnloadEntry& entry : kUnloadTable) {
        const auto described = std::find_if(drivers.begin(), drivers.end(),
                                            [&](const describe::DriverDescription& d) { return d.Name == entry.driver; });
        if (described == drivers.end()) continue;
        if (std::wstring(entry.driver) == L"vxvault") {
            // The second instance of the vault filter counts whatever the entry says.
            if (const std::uint32_t code = services::UnloadDriver(log, L"vxvault2", entry.stop); code != 0) {
                result = code;
            }
        }
        const std::uint32_t code = services::UnloadDriver(log, described->ServiceName, entry.stop);
        if (code != 0 && !entry.failureIgnored) result = code;
    }
    return result;
}

}  // namespace engine
