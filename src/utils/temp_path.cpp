#include "utils/temp_path.h"

#include <new>

#include "utils/new_guid.h"
#include "utils/path_text.h"
#include "utils/platform/kernel_api.h"

namespace utils {
namespace {

constexpr std::size_t kMaxPathChars = MAX_PATH;
constexpr int kTempPathAttempts = 5;

ostra::ResultCode TempFolder(std::wstring& folder) {
    DWORD size = kMaxPathChars;
    for (int attempt = 0; attempt < kTempPathAttempts; ++attempt) {
        std::wstring buffer(size, L'\0');
        const DWORD length = api::GetTempPathW(size, buffer.data());
        if (length == 0) return ostra::ResultFromPlatformError(::GetLastError());
        if (length < size) {
            buffer.resize(length);
            folder = std::move(buffer);
            return ostra::kOk;
        }
        size = length;  // the size it needs, terminator included
    }
    return ostra::kBufferTooSmall;
}

ostra::ResultCode CheckPlainDirectory(const std::wstring& directory) {
    const DWORD attributes = api::GetFileAttributesW(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return ostra::kPathNotFound;
        return ostra::ResultFromPlatformError(error);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return ostra::kPathNotFound;
    return ostra::kOk;
}

UniqueTempPath MakeTempPathOrFail(const std::wstring& prefix, const std::wstring& givenDirectory) {
    std::wstring directory = givenDirectory;
    if (directory.empty()) {
        if (const ostra::ResultCode result = TempFolder(directory); result != ostra::kOk) return {{}, result};
    }
    if (directory.size() > kMaxPathChars) return {{}, ostra::kBufferTooSmall};
    if (const ostra::ResultCode result = CheckPlainDirectory(directory); result != ostra::kOk) return {{}, result};

    std::wstring guid;
    if (const HRESULT created = NewGuidText(guid); FAILED(created)) {
        return {{}, static_cast<ostra::ResultCode>(created)};
    }

    std::wstring path = AppendPath(directory, prefix + guid);
    if (path.size() > kMaxPathChars) return {{}, ostra::kBufferTooSmall};
    return {std::move(path), ostra::kOk};
}

}  // namespace

UniqueTempPath MakeUniqueTempPath(const std::wstring& prefix, const std::wstring& directory) {
    try {
        return MakeTempPathOrFail(prefix, directory);
    } catch (const std::bad_alloc&) {
        return {{}, ostra::kOutOfMemory};
    }
}

}  // namespace utils
