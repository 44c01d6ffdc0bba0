#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "describe/driver_list.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/shell_api.h"
#include "utils/unique_handle.h"

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

constexpr wchar_t kVxtraplibDirOption[] = L"--vxtraplib_dir";

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return true;
    return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
    int count = 0;
    utils::LocalMemory array(utils::api::CommandLineToArgvW(commandLine.c_str(), &count));
    std::vector<std::wstring> arguments;
    if (!array) return arguments;
    auto* argv = static_cast<LPWSTR*>(array.Get());
    arguments.assign(argv, argv + count);
    return arguments;
}

bool HasArgument(const std::wstring& commandLine, const std::wstring& option) {
    const auto arguments = SplitCommandLine(commandLine);
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

ostra::ResultCode ParseCommand(SdkEventLog& log, const std::wstring& commandLine, Command& command) {
    const auto arguments = SplitCommandLine(commandLine);
    int wordsInFront = 0;
    Command found = Command::InstallCommand;
    for (const auto& word : kCommandWords) {
        const auto first = std::find(arguments.begin(), arguments.end(), word.word);
        if (first == arguments.begin() && first != arguments.end()) {
            ++wordsInFront;
            found = word.command;
        }
    }
    if (wordsInFront != 1) {
        LogMessage(log, kLogError, L"Incorrect command line: '%s'. Must be specified exact one command", commandLine.c_str());
        return ostra::kInvalidArgument;
    }
    command = found;
    return ostra::kOk;
}

ostra::ResultCode ParseFeatureList(SdkEventLog& log, const std::wstring& commandLine, FeatureList& features) {
    const auto arguments = SplitCommandLine(commandLine);
    if (arguments.size() < 2) {
        LogMessage(log, kLogError, L"Incorrect command line: %s", commandLine.c_str());
        return ostra::kInvalidArgument;
    }
    const std::wstring lowered = LowerAscii(arguments[1]);
    auto read = SplitFeatureItems(lowered);
    if (!read) {
        LogMessage(log, kLogError, L"Incorrect feature list: %s", lowered.c_str());
        return ostra::kInvalidArgument;
    }
    LogMessage(log, kLogProgress, L"Feature list: %s", lowered.c_str());
    features = std::move(*read);
    return ostra::kOk;
}

bool ValidateFeatureList(SdkEventLog& log, const FeatureList& features) {
    bool hasCore = false;
    bool hasOptional = false;
    for (const auto& name : features) {
        if (name == describe::kCoreFeature) {
            hasCore = true;
        } else if (describe::OptionalFeatures().contains(name)) {
            hasOptional = true;
        } else {
            LogMessage(log, kLogError, L"Incorrect feature list: contains not supported feature '%s'", name.c_str());
            return false;
        }
    }
    if (hasOptional && !hasCore) {
        LogMessage(log, kLogError, L"Incorrect feature list: need to install '%s' feature", describe::kCoreFeature);
        return false;
    }
    return true;
}

ostra::ResultCode ParseVxtraplibDir(SdkEventLog& log, const std::wstring& commandLine, std::wstring& folder) {
    const auto arguments = SplitCommandLine(commandLine);
    const auto option = std::find(arguments.begin(), arguments.end(), kVxtraplibDirOption);
    if (option == arguments.end()) {
        LogMessage(log, kLogError, L"'--vxtraplib_dir' argument not found (required when installing vxtrap)");
        return ERROR_NOT_FOUND;
    }
    if (std::next(option) == arguments.end()) {
        LogMessage(log, kLogError, L"value of '--vxtraplib_dir' argument not found");
        return ostra::kInvalidArgument;
    }
    const std::wstring& value = *std::next(option);
    LogMessage(log, kLogProgress, L"'--vxtraplib_dir' value: '%s'", value.c_str());
    if (!IsAbsolutePath(value)) {
        LogMessage(log, kLogError, L"'%s' is not an absolute path", value.c_str());
        return ostra::kInvalidArgument;
    }
    const DWORD attributes = utils::api::GetFileAttributesW(value.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const ostra::ResultCode mapped = ostra::ResultFromPlatformError(::GetLastError());
        if (mapped != ostra::kOk) {
            LogMessage(log, kLogError, L"Error occurred while validating '%s': %#x", value.c_str(), mapped);
            return ostra::kInvalidArgument;
        }
    }
    const bool plainFolder = attributes != INVALID_FILE_ATTRIBUTES &&
                             (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                             (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!plainFolder) {
        LogMessage(log, kLogError, L"'%s' is not a valid directory", value.c_str());
        return ostra::kInvalidArgument;
    }
    folder = value;
    return ostra::kOk;
}

}  // namespace app
