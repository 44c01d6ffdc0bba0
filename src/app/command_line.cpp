#include "app/command_line.h"

#include "describe/driver_list.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/shell_api.h"
#include "utils/unique_handle.h"

namespace app {

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
    return HasArgument(SplitCommandLine(commandLine), option);
}

ostra::ResultCode ParseCommand(SdkEventLog& log, const std::wstring& commandLine, Command& command) {
    const auto found = CommandOfArguments(SplitCommandLine(commandLine));
    if (!found) {
        LogMessage(log, kLogError, L"Incorrect command line: '%s'. Must be specified exact one command", commandLine.c_str());
        return ostra::kInvalidArgument;
    }
    command = *found;
    return ostra::kOk;
}

ostra::ResultCode ParseFeatureList(SdkEventLog& log, const std::wstring& commandLine, FeatureList& features) {
    auto read = ReadFeatureArgument(SplitCommandLine(commandLine));
    switch (read.status) {
    case FeatureArgument::Status::kMissing:
        LogMessage(log, kLogError, L"Incorrect command line: %s", commandLine.c_str());
        return ostra::kInvalidArgument;
    case FeatureArgument::Status::kItemTooLong:
        LogMessage(log, kLogError, L"Incorrect feature list: %s", read.lowered.c_str());
        return ostra::kInvalidArgument;
    case FeatureArgument::Status::kRead:
        break;
    }
    LogMessage(log, kLogProgress, L"Feature list: %s", read.lowered.c_str());
    features = std::move(read.features);
    return ostra::kOk;
}

bool ValidateFeatureList(SdkEventLog& log, const FeatureList& features) {
    const FeatureCheck check = CheckFeatures(features);
    switch (check.status) {
    case FeatureCheck::Status::kNotSupported:
        LogMessage(log, kLogError, L"Incorrect feature list: contains not supported feature '%s'",
                   check.unsupported.c_str());
        return false;
    case FeatureCheck::Status::kNeedsCore:
        LogMessage(log, kLogError, L"Incorrect feature list: need to install '%s' feature", describe::kCoreFeature);
        return false;
    case FeatureCheck::Status::kValid:
        break;
    }
    return true;
}

ostra::ResultCode ParseVxtraplibDir(SdkEventLog& log, const std::wstring& commandLine, std::wstring& folder) {
    const VxtraplibDirArgument found = FindVxtraplibDir(SplitCommandLine(commandLine));
    switch (found.status) {
    case VxtraplibDirArgument::Status::kOptionMissing:
        LogMessage(log, kLogError, L"'--vxtraplib_dir' argument not found (required when installing vxtrap)");
        return ERROR_NOT_FOUND;
    case VxtraplibDirArgument::Status::kValueMissing:
        LogMessage(log, kLogError, L"value of '--vxtraplib_dir' argument not found");
        return ostra::kInvalidArgument;
    case VxtraplibDirArgument::Status::kNotAbsolute:
    case VxtraplibDirArgument::Status::kFound:
        break;
    }
    const std::wstring& value = found.value;
    LogMessage(log, kLogProgress, L"'--vxtraplib_dir' value: '%s'", value.c_str());
    if (found.status == VxtraplibDirArgument::Status::kNotAbsolute) {
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
