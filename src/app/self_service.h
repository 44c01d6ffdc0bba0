#pragma once
// The installer's own temporary service "Tarnel": this executable started by
// the Service Control Manager with "--run_as_service", carrying out one
// command line and returning its result as the service's exit codes.

#include <string>

#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace app {

inline constexpr wchar_t kSelfServiceName[] = L"Tarnel";

// (Re)creates the service for this executable; a leftover of an earlier run is deleted first.
ostra::ResultCode CreateSelfService(SdkEventLog& log, const std::wstring& name, bool verbose);

// Starts the service with `argument` and polls it every 100 ms until it has
// stopped; the result is its Win32 exit code, or its service-specific exit
// code when that is 0. The service is not deleted.
ostra::ResultCode RunSelfServiceAndWait(SdkEventLog& log, const std::wstring& name, const std::wstring& argument);

// One command carried out by the service (the console's install hands it its
// whole command line), under the install lock that keeps consoles from
// meeting over the service: created, started with `argument`, waited for and
// deleted afterwards. A lock held elsewhere, or the service already active,
// turns the command away with ERROR_SERVICE_ALREADY_RUNNING.
ostra::ResultCode RunThroughSelfService(SdkEventLog& log, const std::wstring& argument, bool verbose);

}  // namespace app
