#pragma once
// Applying a section of a driver's INF file with the Setup API: the files it
// copies, renames and deletes, its registry entries and, on request, the
// services of its ".Services" section. Every file operation of the queue is
// logged; copy and rename errors abort the queue, delete errors are skipped.

#include <cstdint>
#include <string>

#include "log/event_log.h"
#include "utils/platform/setupapi_api.h"

namespace inf {

// The file-queue message handler; `context` is the SdkEventLog. Nothing is
// ever shown and nobody is asked: a queue that needs another source medium
// (a file of the package is missing) is aborted, every other notification
// is answered "do it".
UINT CALLBACK RegInfFileCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);

// Applies `section` of the INF at `infPath` (a bare file name is taken from
// the current directory), then its ".Services" section when `installServices`
// is set and that section exists. 0, 87 for an empty path, or the error of
// the Setup API call that failed. Never raises.
std::uint32_t reg_inf(SdkEventLog& log, const std::wstring& infPath, const std::wstring& section,
                      bool installServices);

}  // namespace inf
