#pragma once
// Name text of the file operations, free of the platform: the file name part
// of a path, and the unique name under which a file is copied.

#include <string>
#include <string_view>

namespace files {

// The part after the last '\' or '/'; without a separator the part after a
// leading drive "X:"; else the whole path.
std::wstring FileNameOf(std::wstring_view path);

// `fileName` with `unique` put in after its first '.': "vxfsd.sys" gives
// "vxfsd." + unique + ".sys", "a.b.sys" gives "a." + unique + ".b.sys", and a
// name without a dot gives the name, '.' and unique.
std::wstring UniqueCopyName(std::wstring_view fileName, std::wstring_view unique);

}  // namespace files
