#pragma once
// The driver list as the runs log it.

#include "describe/driver_list.h"
#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace describe {

void LogDriverList(SdkEventLog& log, const DriverList& drivers);

// The drivers of all features on `windows`, logged; always succeeds.
ostra::ResultCode BuildUninstallDriverList(SdkEventLog& log, const utils::KnownWindowsRelease& windows,
                                           DriverList& drivers);

}  // namespace describe
