#include "describe/driver_list_log.h"

namespace describe {

void LogDriverList(SdkEventLog& log, const DriverList& drivers) {
    if (drivers.empty()) {
        LogMessage(log, kLogProgress, L"Driver list is empty");
    } else {
        LogMessage(log, kLogProgress, L"Driver list: %s", JoinNames(drivers).c_str());
    }
}

ostra::ResultCode BuildUninstallDriverList(SdkEventLog& log, const utils::KnownWindowsRelease& windows,
                                           DriverList& drivers) {
    drivers = BuildDriverList(true, {}, windows);
    LogDriverList(log, drivers);
    return ostra::kOk;
}

}  // namespace describe
