#include "app/features.h"

#include "utils/windows_version.h"

namespace app {
namespace {

bool AnyDriver(const std::wstring&) {
    return true;
}

// The early-launch driver is not installed on Windows 7 and earlier.
bool OnlyAfterLegacyWindows(const std::wstring&) {
    return !utils::IsLegacyWindows();
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

DriverList BuildDriverList(bool allFeatures, const FeatureList& features) {
    DriverList drivers;
    bool vxpktAdded = false;
    for (const auto& feature : FeatureTable()) {
        if (!allFeatures && !features.contains(feature.name)) continue;
        if (!vxpktAdded && feature.requiresVxpktBeforeWindows10 && !utils::IsWindows10OrLater()) {
            drivers.push_back(kVxpktDriver);
            vxpktAdded = true;
        }
        for (const auto& driver : feature.drivers) {
            if (feature.driverFilter(driver)) drivers.push_back(driver);
        }
    }
    return drivers;
}

void LogDriverList(SdkEventLog& log, const DriverList& drivers) {
    if (drivers.empty()) {
        LogMessage(log, 4, L"Driver list is empty");
    } else {
        LogMessage(log, 4, L"Driver list: %s", JoinNames(drivers).c_str());
    }
}

ostra::ResultCode BuildUninstallDriverList(SdkEventLog& log, DriverList& drivers) {
    drivers = BuildDriverList(true, {});
    LogDriverList(log, drivers);
    return ostra::kOk;
}

}  // namespace app
