#include "services/group_tag.h"

#include <vector>

#include "services/service_control.h"
#include "system/group_order.h"
#include "system/group_order_value.h"
#include "utils/platform/service_api.h"

namespace services {

std::int32_t GetServiceGroupTag(const std::wstring& service, const std::wstring& group) {
    const ServiceHandle handle = OpenServiceByName(service);
    std::vector<std::uint8_t> buffer(4096);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    if (!utils::api::QueryServiceConfigW(handle.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        return -1;
    }
    if (config->lpLoadOrderGroup == nullptr || utils::api::lstrcmpiW(config->lpLoadOrderGroup, group.c_str()) != 0 ||
        config->dwTagId == 0) {
        return -1;
    }
    const auto order = grouporder::ReadGroupOrder(group);
    if (!order || !grouporder::ContainsTag(*order, config->dwTagId)) return -1;
    return static_cast<std::int32_t>(config->dwTagId);
}

void RemoveVxearlyFromEarlyLaunchOrder() {
    const std::int32_t tag = GetServiceGroupTag(L"vxearly", L"Early-Launch");
    auto order = grouporder::ReadGroupOrder(L"Early-Launch");
    if (!order || tag == -1) return;
    if (!grouporder::RemoveFirstTag(*order, static_cast<std::uint32_t>(tag))) return;
    // A failed write leaves the list as it was; nothing depends on it.
    grouporder::WriteGroupOrder(L"Early-Launch", *order);
}

}  // namespace services
