#pragma once
// A fresh GUID in the 36-character text form that unique file names use.

#include <string>

#include "utils/platform/windows_headers.h"

namespace utils {

// Fills `text` and returns S_OK, or returns CoCreateGuid's failure and leaves `text` alone.
HRESULT NewGuidText(std::wstring& text);

}  // namespace utils
