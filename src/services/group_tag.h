#pragma once
// A service's tag in its load-order group, and vxearly's removal from the
// "Early-Launch" order.

#include <cstdint>
#include <string>

namespace services {

// The service's tag when it belongs to `group`, has a tag, and the tag is in
// the group's order list; otherwise -1. Raises PlatformError when the service
// manager or the service cannot be opened.
std::int32_t GetServiceGroupTag(const std::wstring& service, const std::wstring& group);

// Takes vxearly's tag (its first occurrence) out of the "Early-Launch" order list.
void RemoveVxearlyFromEarlyLaunchOrder();

}  // namespace services
