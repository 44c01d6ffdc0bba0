#include "describe/driver_list.h"

namespace describe {
namespace {

bool AnyDriver(const std::wstring&, const utils::KnownWindowsRelease&) {
    return true;
}

// The early-launch driver is not installed on Windows 7 and earlier.
bool OnlyAfterLegacyWindows(const std::wstring&, const utils::KnownWindowsRelease& windows) {
    return !utils::IsLegacyRelease(windows);
}

// Built before the entry runs, as the tables of a running process never change.
const std::vector<FeatureRecord> kFeatureTable{
    {L"core", {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux"}, false, AnyDriver},
    {L"backsafe", {L"vxvaultdisk", L"vxvault"}, true, AnyDriver},
    {L"elam", {L"vxearly"}, true, OnlyAfterLegacyWindows},
    {L"network", {L"vxnet"}, true, AnyDriver},
};

const std::set<std::wstring> kOptionalFeatures{L"backsafe", L"elam", L"network"};

}  // namespace

const std::vector<FeatureRecord>& FeatureTable() {
    return kFeatureTable;
}

const std::set<std::wstring>& OptionalFeatures() {
    return kOptionalFeatures;
}

DriverList BuildDriverList(bool allFeatures, const FeatureList& features, const utils::KnownWindowsRelease& windows) {
    DriverList drivers;
    bool vxpktAdded = false;
    for (const auto& feature : FeatureTable()) {
        if (!allFeatures && !features.contains(feature.name)) continue;
        if (!vxpktAdded && feature.requiresVxpktBeforeWindows10 && !utils::IsWindows10OrLaterRelease(windows)) {
            drivers.push_back(kVxpktDriver);
            vxpktAdded = true;
        }
        for (const auto& driver : feature.drivers) {
            if (feature.driverFilter(driver, windows)) drivers.push_back(driver);
        }
    }
    return drivers;
}

}  // namespace describe
