#pragma once
// Path and name text helpers, free of the platform: joining
// two path parts, the parent of a path, and the text form of a GUID.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace utils {

// `first` + `second`, with a backslash between them unless `first` is empty
// or already ends in a separator.
std::wstring AppendPath(std::wstring_view first, std::wstring_view second);

// Everything before the last `\` or `/`. The separator stays when it follows
// a drive colon ("C:\x.inf" gives "C:\") or is the first character ("\a.inf"
// gives "\"). Without a separator: the drive ("C:") when the second character
// is a colon, else empty.
std::wstring ParentPath(std::wstring_view path);

// The 36-character 8-4-4-4-12 form of a GUID in upper-case hexadecimal, no braces.
std::wstring GuidText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                      const std::array<std::uint8_t, 8>& data4);

}  // namespace utils
