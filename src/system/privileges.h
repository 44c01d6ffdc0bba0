#pragma once
// Privileges of the running process's token. Both routines switch a privilege
// on and leave it on for the rest of the process.

#include <cstdint>
#include <string>

#include "log/event_log.h"

namespace privileges {

// Enables the privilege named `name` (such as L"SeLoadDriverPrivilege").
// A name the system does not know changes nothing and is no error. Raises
// std::runtime_error when the token cannot be opened or adjusted.
void EnablePrivilege(const std::wstring& name);

// Enables SeLoadDriverPrivilege and unloads the minifilter `filterName`
// through the filter manager library (utils::fltLibDll, which must have been
// created at start-up). 0 when the filter was unloaded; otherwise FilterUnload's
// failing result code as it came, or the platform error number of the token
// step that failed. Never raises.
std::uint32_t UnloadFilterWithPrivilege(SdkEventLog& log, const std::wstring& filterName);

}  // namespace privileges
