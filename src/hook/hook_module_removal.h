#pragma once
// Removal of the hooking driver's installed user-mode library: the library is
// in use until the next restart, so it is moved aside and the moved file is
// deleted at restart.

#include <string>

#include "log/event_log.h"

namespace hook {

// Moves the library that the driver's parameters name to a temporary name and
// marks it for deletion at restart. Raises PlatformError when the path cannot
// be read and std::runtime_error when the move fails; a failed marking is
// only a warning.
void RemoveInstalledHookModule(SdkEventLog& log);

// The same for the library at `installed`, read before the driver's
// parameters went with its service. Raises std::runtime_error when the move fails.
void RemoveHookModuleAt(SdkEventLog& log, const std::wstring& installed);

}  // namespace hook
