#pragma once
// Settings of the early-launch anti-malware driver vxearly: its blocks in the
// system's early-launch hive, and its tag in the "Early-Launch" load order.

#include <cstdint>
#include <string>

#include "log/event_log.h"

namespace earlylaunch {

// Install: loads the hive and writes "Block0" and "Config" under
// "Orvanta Lab"; uninstall: deletes that key. The hive is unloaded again in
// both cases. True when every step succeeded. Never raises.
bool SetVxearlyParameters(SdkEventLog& log, bool install);

// The service's tag when it belongs to `group`, has a tag, and the tag is in
// the group's order list; otherwise -1. Raises PlatformError when the service
// manager or the service cannot be opened.
std::int32_t GetServiceGroupTag(const std::wstring& service, const std::wstring& group);

// Takes vxearly's tag (its first occurrence) out of the "Early-Launch" order list.
void RemoveVxearlyFromEarlyLaunchOrder();

}  // namespace earlylaunch
