#include "services/service_key.h"

namespace services {

registry::RegKeyHandle OpenServiceKey(const std::wstring& serviceName, REGSAM access) {
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
    return registry::OpenKey(HKEY_LOCAL_MACHINE, path, access);
}

}  // namespace services
