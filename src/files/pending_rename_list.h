#pragma once
// Walking the session manager's list of file operations for the next start:
// a multi-string of UTF-16 paths taken in pairs (source, target), the whole
// ended by one more NUL. A target that begins with "!" asks for an existing
// target to be replaced; an empty target asks for the source to be deleted.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace files {

// Takes one queued operation; the target comes without its "!" mark. Answers
// true to go on with the next pair, false to stop.
using PendingRenameCallback = std::function<bool(const std::wstring& source, const std::wstring& target)>;

// Hands every pair of the raw value data to `callback`, in order. Nothing is
// read past `size` bytes: a string that runs to the end of the data without a
// NUL ends there, an odd last byte is ignored, and data of 2 bytes or less
// (the closing NUL alone) holds no pair. Each UTF-16 unit becomes one wchar_t.
void WalkPendingRenames(const std::uint8_t* data, std::size_t size, const PendingRenameCallback& callback);

// Whether the queued path names `path` as a whole: the same text, either as
// it stands or behind the NT prefix "\??\" that the system puts in front of
// the paths it queues. The texts are compared unit by unit, so a caller that
// ignores letter case hands both in one case.
bool QueuedPathIs(std::wstring_view queued, std::wstring_view path);

}  // namespace files
