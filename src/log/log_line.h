#pragma once
// Building one log line in a fixed buffer: the prefix, the cut, the CR LF
// ending and the masking of secrets. Also the rotated file name.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_settings.h"

namespace logline {

inline constexpr std::size_t kLineCapacity = 4096;
// A line holds at most this many characters before its CR LF.
inline constexpr std::size_t kMaxLineText = 4093;
// The log file in use until a size limit rotates it.
inline constexpr char kDefaultPath[] = "./tarnel.log";

struct LocalTime {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

struct PrefixValues {
    LocalTime time;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
};

// Writes the prefix at the start of `buffer` (kLineCapacity bytes) and returns
// its length, at most kMaxLineText: a longer prefix is cut there, as the line
// would be anyway.
std::size_t WritePrefix(char* buffer, const LogSettings& settings, const PrefixValues& values);

// The bytes the message may take behind a prefix of `prefixLength`, its
// terminator included; the room for CR LF stays free. At least 1.
std::size_t MessageRoom(std::size_t prefixLength);

// Copies as much of `text` as the message room holds behind the prefix and
// terminates it.
void AppendMessage(char* buffer, std::size_t prefixLength, std::string_view text);

// Cuts the NUL-terminated text in `buffer` at kMaxLineText characters and
// appends CR LF and a terminator. Returns the line's length without the terminator.
std::size_t FinishLine(char* buffer);

// Replaces every non-blank character after "pass " and after "password "
// (first occurrence of each, in any letter case) with '*'.
void MaskSecrets(char* line, std::size_t length);

// "trel-<pid>-YYYYMMDD-HHMMSS.log".
std::string RotatedFileName(std::uint32_t processId, const LocalTime& time);

// `path` with everything after its last '/' replaced by `fileName`; the whole
// path is replaced when it holds no '/'.
std::string ReplaceFileName(const std::string& path, const std::string& fileName);

// True for the paths a log of process `processId` writes to: kDefaultPath, or
// a rotated file name of that process beside it ("./trel-<pid>-YYYYMMDD-HHMMSS.log").
bool IsOwnLogPath(std::string_view path, std::uint32_t processId);

}  // namespace logline
