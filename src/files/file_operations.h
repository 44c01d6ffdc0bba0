#pragma once
// File moves, copies and deletions for driver files, which may be in use: an
// old file is never deleted in place but moved aside to a unique name in the
// temporary folder and deleted at the next start; a new file is copied under
// a unique name and never over an existing one. Paths are taken as they
// stand: nothing here normalises them or resolves long names.

#include <string>
#include <utility>
#include <vector>

#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace files {

// The source location that the exceptions of these operations carry.
inline constexpr char kFileUtilsSource[] = "Utils\\Tarnel\\file_utils";

// Moves the file to the temporary folder under its file name followed by a
// GUID text (no further extension) and returns the new path. Raises
// std::runtime_error "Unable to get temp file name: ..." or "Unable to rename
// file: ..." with the code as "0x%08x (text)". Does not log.
std::wstring MoveToTempName(const std::wstring& sourcePath);

// Moves each existing file aside (MoveToTempName) and marks the moved file
// for deletion at the next start. A file that cannot be moved is tried up to
// five times, 500 ms apart, when `retry` is set, else once; it then stays
// where it is. Failures are logged as warnings and not reported.
void CleanUpFiles(SdkEventLog& log, const std::vector<std::wstring>& paths, bool retry);

// Copies sourceFolder\fileName to destinationFolder under the file name with a
// new GUID text put in after its first dot, and returns the new path. Never
// overwrites. Raises ostra::CheckResultFailedException (kFileUtilsSource, line
// 63 when no GUID can be made, line 75 when the copy fails). Does not log.
std::wstring CopyToUniqueName(const std::wstring& fileName, const std::wstring& sourceFolder,
                              const std::wstring& destinationFolder);

struct ExpandedText {
    ostra::ResultCode result = ostra::kOk;  // 1: nothing was expanded, 0: expanded, else the failure
    std::wstring text;                      // the expansion when result is 0 or 1
};

// The text with its %variables% replaced from the environment.
ExpandedText ExpandEnvironment(const std::wstring& text);

}  // namespace files
