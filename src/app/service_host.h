#pragma once
// The service host: the process that the Service Control Manager starts as the
// installer's temporary service "Tarnel".

#include "log/event_log.h"

namespace app {

// Hands the main thread to the service dispatcher and returns when the
// service has stopped and its own log is closed.
void RunServiceHost(SdkEventLog& log);

}  // namespace app
