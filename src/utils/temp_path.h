#pragma once
// Unique paths for temporary files: a folder, a prefix and a new GUID's text.

#include <string>

#include "ostra/result_codes.h"

namespace utils {

struct UniqueTempPath {
    std::wstring path;                          // empty unless result is 0
    ostra::ResultCode result = ostra::kOk;
};

// `directory` (the temporary folder when empty), a backslash if needed,
// `prefix` and a new GUID's text. 0x80000044 when a path would be longer
// than 260 characters, 0x80010103 when the directory is missing or not a
// plain directory.
UniqueTempPath MakeUniqueTempPath(const std::wstring& prefix, const std::wstring& directory = {});

}  // namespace utils
