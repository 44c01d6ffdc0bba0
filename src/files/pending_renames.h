#pragma once
// The file operations that Windows carries out at the next start, kept in
// the value "PendingFileRenameOperations" of the session manager's key: read
// them, find those that touch a driver's installed files, and queue or
// cancel replacements. Queued paths are compared with existing files by file
// identity, never by their text, except in CancelScheduledUpdates.

#include <cstdint>
#include <string>

#include "files/pending_rename_list.h"
#include "log/event_log.h"
#include "utils/platform/windows_headers.h"

namespace files {

// Hands every queued pair (source, target without its "!") to `callback`
// until it answers false. A missing value or a session manager key that
// cannot be opened is logged and calls nothing; a value that exists but
// cannot be read raises PlatformError.
void EnumPendingFileRenameOperations(SdkEventLog& log, const PendingRenameCallback& callback);

// Copies `source` beside `destination` under a GUID name with ".tmp" and
// queues the copy to replace `destination` at the next start. 0, or the
// system error of the failed step; a copy that could not be queued stays.
DWORD ScheduleUpdateOnReboot(SdkEventLog& log, const std::wstring& source, const std::wstring& destination);

// After an INF install: for every installed file that a queued operation
// would move or delete (its source or its target is that file), queues the
// file from beside the INF to be put back in its place at the next start.
// Each installed file is handled once. 0; the code of a PlatformError, or 31,
// when the INF's file lists cannot be read; the system error of the first
// replacement that could not be queued (the remaining files are still
// handled). A PlatformError from reading the queued operations passes on.
std::uint32_t ProtectInstalledFiles(SdkEventLog& log, const std::wstring& infPath);

// Deletes the sources of queued operations whose target names one of the
// INF's installed files (the whole path compared as text without regard to
// case, with or without the "\??\" prefix), so that they have nothing left to
// move. 0, or the INF's failure as in ProtectInstalledFiles; failed
// deletions are only logged.
std::uint32_t CancelScheduledUpdates(SdkEventLog& log, const std::wstring& infPath);

// A callback that sets `replacement` to the source of every queued operation
// whose target is the same file as `file`, so that the last one in the list
// stays. Always goes on. `replacement` must outlive the enumeration.
PendingRenameCallback FindPendingReplacement(const std::wstring& file, std::wstring& replacement);

}  // namespace files
