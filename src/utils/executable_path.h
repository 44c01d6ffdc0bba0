#pragma once
// The full path of the running executable.

#include <string>

#include "utils/platform/windows_headers.h"

namespace utils {

// GetModuleFileNameW for this executable into a buffer of `capacity`
// characters. Empty when the call fails or the path was cut to the buffer
// (a cut path names another file); the last error then says why, a cut one
// being ERROR_INSUFFICIENT_BUFFER.
std::wstring ExecutablePath(DWORD capacity = MAX_PATH);

}  // namespace utils
