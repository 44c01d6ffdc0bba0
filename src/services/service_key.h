#pragma once
// The registry key of a service:
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<service name>.

#include <string>

#include "system/registry.h"

namespace services {

// Opens the service's key with `access`. Raises PlatformError with the
// registry's error number and the text "Error open registry key".
registry::RegKeyHandle OpenServiceKey(const std::wstring& serviceName, REGSAM access);

}  // namespace services
