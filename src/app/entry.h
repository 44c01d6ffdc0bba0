#pragma once
// The process entry: start-up, then the console run or the service host.

#include <string>

#include "ostra/result_codes.h"

namespace app {

// Runs the installer for `commandLine` (without the program name) and returns
// the process exit code.
ostra::ResultCode RunInstaller(const std::wstring& commandLine);

}  // namespace app
