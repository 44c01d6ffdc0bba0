#pragma once
// The installer's log: CR LF terminated narrow lines with a fixed prefix,
// appended to "./tarnel.log" (or handed to a "trelclog.dll" callback beside
// the executable). Messages above the log's maximum level are dropped, so
// the log is silent unless "--verbose" was given.

#include <memory>

#include "log/log_settings.h"

struct SdkEventLog;

void DestroyLog(SdkEventLog* log);

struct LogDeleter {
    void operator()(SdkEventLog* log) const { DestroyLog(log); }
};
using LogPtr = std::unique_ptr<SdkEventLog, LogDeleter>;

// Builds a log and hands over its owner; empty when any step failed.
// Messages are written from any thread.
LogPtr CreateLog(LogSettings settings);

// printf-style messages: in LogMessage "%s" takes a wide string and "%S" a
// narrow one; in LogMessageA the other way round. True when the message was
// filtered out or written in full.
bool LogMessage(SdkEventLog& log, LogLevel level, const wchar_t* format, ...);
bool LogMessageA(SdkEventLog& log, LogLevel level, const char* format, ...);
// A ready text at level 9, without format processing.
bool LogText(SdkEventLog& log, const wchar_t* text);
