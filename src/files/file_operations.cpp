#include "files/file_operations.h"

#include <new>
#include <sstream>
#include <stdexcept>

#include "files/file_names.h"
#include "ostra/exceptions.h"
#include "ostra/platform_error.h"
#include "utils/new_guid.h"
#include "utils/path_text.h"
#include "utils/platform/kernel_api.h"
#include "utils/temp_path.h"

namespace files {
namespace {

constexpr int kMoveAttempts = 5;
constexpr DWORD kRetryDelayMs = 500;
constexpr std::uint32_t kGuidFailureLine = 63;
constexpr std::uint32_t kCopyFailureLine = 75;

// The texts raised here are ASCII: a prefix and a result code's text.
std::wstring Widened(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    return wide;
}

bool IsAlreadyGone(DWORD error) {
    const ostra::ResultCode mapped = ostra::ResultFromPlatformError(error);
    return mapped == ostra::kFileNotFound || mapped == ostra::kPathNotFound;
}

ostra::ResultCode LastErrorResult() { return ostra::ResultFromPlatformError(::GetLastError()); }

ExpandedText ExpandOrFail(const std::wstring& text) {
    const DWORD needed = utils::api::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return {LastErrorResult(), {}};

    std::wstring expanded(needed, L'\0');
    const DWORD written = utils::api::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (written == 0) return {LastErrorResult(), {}};
    if (written > needed) return {ostra::kFrameworkUnexpected, {}};  // the environment grew between the two calls
    expanded.resize(written - 1);

    const ostra::ResultCode result = expanded == text ? ostra::kFalse : ostra::kOk;
    return {result, std::move(expanded)};
}

}  // namespace

std::wstring MoveToTempName(const std::wstring& sourcePath) {
    utils::UniqueTempPath temporary = utils::MakeUniqueTempPath(FileNameOf(sourcePath));
    if (temporary.result != ostra::kOk) ThrowCodeError("Unable to get temp file name: ", temporary.result);

    if (!utils::api::MoveFileW(sourcePath.c_str(), temporary.path.c_str())) {
        // A failure that leaves no error number behind is still a failure.
        const ostra::ResultCode mapped = LastErrorResult();
        ThrowCodeError("Unable to rename file: ",
                          mapped != ostra::kOk ? mapped : ostra::ResultFromPlatformError(ERROR_GEN_FAILURE));
    }
    return std::move(temporary.path);
}

void CleanUpFiles(SdkEventLog& log, const std::vector<std::wstring>& paths, bool retry) {
    for (const std::wstring& path : paths) {
        LogMessage(log, kLogProgress, L"Cleaning up file %s", path.c_str());
        if (utils::api::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && IsAlreadyGone(::GetLastError())) {
            continue;
        }

        std::wstring movedTo;
        for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
            try {
                movedTo = MoveToTempName(path);
                break;
            } catch (const std::exception& error) {
                LogMessage(log, kLogWarning, L"Failed to move %s to %s: %s. Try %d", path.c_str(), movedTo.c_str(),
                           Widened(error.what()).c_str(), attempt);
            }
            if (!retry) break;
            utils::api::Sleep(kRetryDelayMs);
        }
        if (movedTo.empty()) continue;

        if (!utils::api::MoveFileExW(movedTo.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            const DWORD error = ::GetLastError();
            LogMessage(log, kLogWarning, L"Unable to mark for deletion on reboot %s: 0x%x", movedTo.c_str(), error);
        }
    }
}

std::wstring CopyToUniqueName(const std::wstring& fileName, const std::wstring& sourceFolder,
                              const std::wstring& destinationFolder) {
    std::wstring guid;
    if (const HRESULT created = utils::NewGuidText(guid); FAILED(created)) {
        throw ostra::CheckResultFailedException(kFileUtilsSource, kGuidFailureLine,
                                                static_cast<ostra::ResultCode>(created));
    }
    const std::wstring sourcePath = utils::AppendPath(sourceFolder, fileName);
    std::wstring newPath = utils::AppendPath(destinationFolder, UniqueCopyName(fileName, guid));

    if (!utils::api::CopyFileW(sourcePath.c_str(), newPath.c_str(), TRUE)) {
        const ostra::ResultCode mapped = LastErrorResult();
        if (ostra::Failed(mapped)) throw ostra::CheckResultFailedException(kFileUtilsSource, kCopyFailureLine, mapped);
    }
    return newPath;
}

ExpandedText ExpandEnvironment(const std::wstring& text) {
    try {
        return ExpandOrFail(text);
    } catch (const std::bad_alloc&) {
        return {ostra::kOutOfMemory, {}};
    }
}

}  // namespace files
