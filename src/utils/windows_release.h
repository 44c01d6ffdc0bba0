#pragma once
// A Windows version as its major and minor numbers, and the decisions the
// installer takes on it: platform-free, so that lists built from it can be
// tested for every version on any machine.

#include <optional>

namespace utils {

struct WindowsRelease {
    unsigned major = 0;
    unsigned minor = 0;
};

// Nothing when the running version could not be read.
using KnownWindowsRelease = std::optional<WindowsRelease>;

// Windows 7 / Server 2008 R2 and earlier (major at most 6, minor at most 1);
// false for an unknown version.
constexpr bool IsLegacyRelease(const KnownWindowsRelease& release) {
    return release && release->major <= 6 && release->minor <= 1;
}

// Windows 10 or later; false for an unknown version.
constexpr bool IsWindows10OrLaterRelease(const KnownWindowsRelease& release) {
    return release && release->major >= 10;
}

}  // namespace utils
