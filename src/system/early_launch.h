#pragma once
// Settings of the early-launch anti-malware driver vxearly: its blocks in the
// system's early-launch hive.

#include <cstdint>
#include <string>

#include "log/event_log.h"

namespace earlylaunch {

// Install: loads the hive and writes "Block0" and "Config" under
// "Orvanta Lab"; uninstall: deletes that key. The hive is unloaded again in
// both cases. True when every step succeeded. Never raises.
bool SetVxearlyParameters(SdkEventLog& log, bool install);

}  // namespace earlylaunch
