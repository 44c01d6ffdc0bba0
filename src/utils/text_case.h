#pragma once
// Letter case of the installer's names and ini values: A to Z only, as the
// runtime's default locale treats them. Platform-free.

#include <string>
#include <string_view>

namespace utils {

std::wstring LowerAscii(std::wstring_view text);
std::wstring UpperAscii(std::wstring_view text);

// Equal when compared without regard to the case of A to Z.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

}  // namespace utils
