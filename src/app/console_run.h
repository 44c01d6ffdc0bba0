#pragma once
// The console run: the command of a product's setup, carried out in this
// process or handed to the installer's own temporary service.

#include <string>

#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace app {

ostra::ResultCode RunConsole(SdkEventLog& log, const std::wstring& commandLine, bool verbose);

}  // namespace app
