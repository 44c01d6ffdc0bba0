#pragma once
// The installer's command line: the command word, the feature list and the
// hooking library's folder.

#include <string>
#include <vector>

#include "app/command_arguments.h"
#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace app {

// The command line split into arguments the way CommandLineToArgvW splits it.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

// True when one argument is exactly `option` (case-sensitive, whole argument).
bool HasArgument(const std::wstring& commandLine, const std::wstring& option);

// The command word must be the first argument, and there must be exactly one.
// `command` is written only on success.
ostra::ResultCode ParseCommand(SdkEventLog& log, const std::wstring& commandLine, Command& command);

// The second argument read as a ';'-separated feature list.
ostra::ResultCode ParseFeatureList(SdkEventLog& log, const std::wstring& commandLine, FeatureList& features);

// Only known features, and the optional ones only together with "core".
bool ValidateFeatureList(SdkEventLog& log, const FeatureList& features);

// The folder after "--vxtraplib_dir": an absolute path of an existing plain folder.
ostra::ResultCode ParseVxtraplibDir(SdkEventLog& log, const std::wstring& commandLine, std::wstring& folder);

}  // namespace app
