#pragma once
// The installer's command line read from its argument vector: the command
// word, the feature list and the hooking library's folder option. Platform-
// free: the Windows side splits the line (CommandLineToArgvW), logs and checks
// the folder on disk; everything that is only text work lives here, so that it
// is tested and fuzzed natively.

#include <optional>
#include <string>
#include <vector>

#include "app/feature_list_text.h"

namespace app {

enum class Command {
    InstallCommand = 0,
    UninstallCommand = 1,
    CleanupCommand = 2,
    CleanupLegacyKeysCommand = 3,
};

using Arguments = std::vector<std::wstring>;

inline constexpr wchar_t kVxtraplibDirOption[] = L"--vxtraplib_dir";

// True when one argument is exactly `option` (case-sensitive, whole argument).
bool HasArgument(const Arguments& arguments, const std::wstring& option);

// The command whose word is the first argument; nothing when the first
// argument is no command word (or there is none). Words further on are not looked at.
std::optional<Command> CommandOfArguments(const Arguments& arguments);

// The second argument read as a feature list.
struct FeatureArgument {
    enum class Status { kRead, kMissing, kItemTooLong };
    Status status = Status::kMissing;
    std::wstring lowered;  // the argument lowered (A to Z), for the log; empty when missing
    FeatureList features;  // only for kRead
};
FeatureArgument ReadFeatureArgument(const Arguments& arguments);

// Only known features, and the optional ones only together with "core".
struct FeatureCheck {
    enum class Status { kValid, kNotSupported, kNeedsCore };
    Status status = Status::kValid;
    std::wstring unsupported;  // the first unknown name in sorted order, for kNotSupported
};
FeatureCheck CheckFeatures(const FeatureList& features);

// The value after the first "--vxtraplib_dir".
struct VxtraplibDirArgument {
    enum class Status { kFound, kOptionMissing, kValueMissing, kNotAbsolute };
    Status status = Status::kOptionMissing;
    std::wstring value;  // for kFound and kNotAbsolute
};
VxtraplibDirArgument FindVxtraplibDir(const Arguments& arguments);

// Starts with two backslashes, or has a ':' second and '\' or '/' third (the
// drive letter itself is not checked).
bool IsAbsolutePath(const std::wstring& path);

}  // namespace app
