#pragma once
// The commands that change the product's drivers, as the console run and
// the service host carry them out: the install (inside the service
// "Tarnel"), the uninstall (in the console process) and the removal of the
// legacy device keys (inside the service, on Windows 7 and earlier).

#include <string>

#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace app {

// "--install": the feature list and options of `commandLine`, the drivers
// described for this system, then the install run. 0xFFFFFFFF when every
// driver is in effect, 0 when a restart is needed, else the failure code.
ostra::ResultCode InstallRun(SdkEventLog& log, const std::wstring& commandLine);

// "--uninstall": every driver of the product is unloaded and removed, last
// first; on Windows 7 and earlier the legacy device keys then go in the
// service "Tarnel". The removal's failure wins over the clean-up's result.
ostra::ResultCode UninstallRun(SdkEventLog& log, bool verbose);

// "--cleanup_legacy_keys": the legacy device keys of every driver of the product.
ostra::ResultCode CleanupLegacyKeysRun(SdkEventLog& log);

}  // namespace app
