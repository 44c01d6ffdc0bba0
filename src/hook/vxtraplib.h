#pragma once
// Installation of the hooking driver's user-mode library: the library is
// copied under a name that carries its file version, its path is recorded in
// the driver's parameters and the driver's fail-safe is switched off. The
// recorded path is read back along the driver's choice of parameter set, and
// a temporary vxtrap service gets a parameter set of its own.
//
// Failures are raised: std::runtime_error with the texts below, or
// PlatformError from the registry reads.

#include <string>

#include "log/event_log.h"

namespace hook {

// "a.b.c.d" from the file's fixed version information, read through
// utils::versionDll. Raises std::runtime_error.
std::wstring GetFileVersionString(const std::wstring& path);

// Creates or opens HKEY_LOCAL_MACHINE\keyPath and writes "VxtraplibPath".
// Raises std::runtime_error.
void SaveVxtraplibPath(const std::wstring& keyPath, const std::wstring& libraryPath);

// Creates or opens HKEY_LOCAL_MACHINE\keyPath and writes the 16 bytes of
// "VxtrapDisableFailSafe". Raises std::runtime_error.
void SetVxtrapDisableFailSafe(const std::wstring& keyPath);

// The recorded library path: from the default set, or from the set that
// "CurrentParameters" names when there is one. Raises PlatformError.
std::wstring ReadVxtraplibPath(bool fromDefaultSet);

// Copies sourceDir\vxtraplib.dll to targetDir\vxtraplib.{version}.dll and
// records it in the default parameter set. A copy that succeeded stays when a
// later registry write fails. Raises std::runtime_error.
void InstallVxtraplib(SdkEventLog& log, const std::wstring& sourceDir, const std::wstring& targetDir);

// Gives the parameter set `name` (a subkey of the parameter key) the library
// path of the default set and the fail-safe switch.
void PrepareTemporaryParameterSet(const std::wstring& name);

}  // namespace hook
