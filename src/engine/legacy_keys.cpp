#include "engine/legacy_keys.h"

#include "engine/legacy_key_names.h"
#include "log/failure_boundary.h"
#include "services/driver_unload.h"
#include "system/registry.h"
#include "utils/platform/registry_api.h"

namespace engine {
namespace {

constexpr wchar_t kEnumRoot[] = L"SYSTEM\\CurrentControlSet\\Enum\\Root";

}  // namespace

void FindLegacyKeys(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers,
                    const std::vector<std::wstring>& subkeys, std::vector<std::wstring>& keysToDelete,
                    std::set<std::wstring>& servicesToRemove) {
    std::vector<std::wstring> serviceNames;
    for (const auto& driver : drivers) serviceNames.push_back(driver.ServiceName);
    for (const LegacyKeyMatch& match : MatchLegacyKeys(serviceNames, subkeys)) {
        keysToDelete.push_back(match.key);
        servicesToRemove.insert(match.service);
        const std::wstring text = match.key + L" - " + match.service;
        LogMessage(log, kLogProgress, L"Found LEGACY key and service to remove: %s", text.c_str());
    }
}

std::uint32_t CleanupLegacyKeys(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers) {
    return CodeAtBoundary(log, kLogError, L"Failed to enumerate legacy keys", [&]() -> std::uint32_t {
        const registry::RegKeyHandle root = registry::OpenKey(HKEY_LOCAL_MACHINE, kEnumRoot, KEY_ALL_ACCESS);
        const std::vector<std::wstring> subkeys = registry::EnumerateSubkeys(root.Get());

        std::vector<std::wstring> keysToDelete;
        std::set<std::wstring> servicesToRemove;
        FindLegacyKeys(log, drivers, subkeys, keysToDelete, servicesToRemove);
        const std::vector<std::wstring> services(servicesToRemove.begin(), servicesToRemove.end());
        if (const std::uint32_t r = services::RemoveServiceDevices(log, services); r != 0) {
            LogMessage(log, kLogWarning, L"Failed to remove drivers from device set: 0x%08X", r);
        }
        for (const std::wstring& key : keysToDelete) {
            if (const LSTATUS e = utils::api::RegDeleteTreeW(root.Get(), key.c_str()); e != ERROR_SUCCESS) {
                LogMessage(log, kLogWarning, L"Failed to delete key %s: 0x%08X", key.c_str(), static_cast<unsigned>(e));
            } else {
                LogMessage(log, kLogProgress, L"Key %s has been deleted", key.c_str());
            }
        }
        return 0;
    });
}

}  // namespace engine
