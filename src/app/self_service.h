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

// The install of the console run: the whole command line handed to the
// service, which is deleted afterwards.
ostra::ResultCode InstallThroughSelfService(SdkEventLog& log, const std::wstring& commandLine, bool verbose);

}  // namespace app
