#include "app/command_arguments.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace app {
namespace {

struct CommandWord {
    const wchar_t* word;
    Command command;
};

constexpr std::array<CommandWord, 4> kCommandWords{{
    {L"--install", Command::InstallCommand},
    {L"--uninstall", Command::UninstallCommand},
    {L"--cleanup", Command::CleanupCommand},
    {L"--cleanup_legacy_keys", Command::CleanupLegacyKeysCommand},
}};

}  // namespace

bool HasArgument(const Arguments& arguments, const std::wstring& option) {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

std::optional<Command> CommandOfArguments(const Arguments& arguments) {
    if (arguments.empty()) return std::nullopt;
    for (const auto& word : kCommandWords) {
        if (arguments.front() == word.word) return word.command;
    }
    return std::nullopt;
}

FeatureArgument ReadFeatureArgument(const Arguments& arguments) {
    FeatureArgument read;
    if (arguments.size() < 2) return read;
    read.lowered = LowerAscii(arguments[1]);
    auto features = SplitFeatureItems(read.lowered);
    if (!features) {
        read.status = FeatureArgument::Status::kItemTooLong;
        return read;
    }
    read.status = FeatureArgument::Status::kRead;
    read.features = std::move(*features);
    return read;
}

FeatureCheck CheckFeatures(const FeatureList& features) {
    bool hasCore = false;
    bool hasOptional = false;
    for (const auto& name : features) {
        if (name == describe::kCoreFeature) {
            hasCore = true;
        } else if (describe::OptionalFeatures().contains(name)) {
            hasOptional = true;
        } else {
            return {FeatureCheck::Status::kNotSupported, name};
        }
    }
    if (hasOptional && !hasCore) return {FeatureCheck::Status::kNeedsCore, {}};
    return {};
}

VxtraplibDirArgument FindVxtraplibDir(const Arguments& arguments) {
    const auto option = std::find(arguments.begin(), arguments.end(), kVxtraplibDirOption);
    if (option == arguments.end()) return {VxtraplibDirArgument::Status::kOptionMissing, {}};
    if (std::next(option) == arguments.end()) return {VxtraplibDirArgument::Status::kValueMissing, {}};
    const std::wstring& value = *std::next(option);
    if (!IsAbsolutePath(value)) return {VxtraplibDirArgument::Status::kNotAbsolute, value};
    return {VxtraplibDirArgument::Status::kFound, value};
}

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return true;
    return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

}  // namespace app
