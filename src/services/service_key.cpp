#include "services/service_key.h"

namespace services {

registry::RegKeyHandle OpenServiceKey(const std::wstring& serviceName, REGSAM access) {
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
    HKEY key = nullptr;
    const LSTATUS error = utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key);
    if (error != ERROR_SUCCESS) ThrowPlatformError(static_cast<std::uint32_t>(error), "Error open registry key");
    return registry::RegKeyHandle(key);
}

}  // namespace services
