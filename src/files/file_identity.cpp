#include "files/file_identity.h"

#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"

namespace files {
namespace {

FileIdentity Unknown(DWORD error) {
    FileIdentity identity;
    identity.error = ostra::ResultFromPlatformError(error);
    if (identity.error == ostra::kOk) identity.error = ostra::kUnspecifiedPlatformError;
    return identity;
}

}  // namespace

FileIdentity GetFileIdentity(const std::wstring& path) {
    const utils::FileHandle file(utils::api::CreateFileW(path.c_str(), 0,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return Unknown(::GetLastError());

    FileIdentity identity;
    if (!utils::api::GetFileInformationByHandle(file.Get(), &identity.info)) return Unknown(::GetLastError());
    identity.known = true;
    return identity;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& first, const BY_HANDLE_FILE_INFORMATION& second) {
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow &&
           first.nFileSizeHigh == second.nFileSizeHigh && first.nFileSizeLow == second.nFileSizeLow &&
           first.ftLastWriteTime.dwLowDateTime == second.ftLastWriteTime.dwLowDateTime &&
           first.ftLastWriteTime.dwHighDateTime == second.ftLastWriteTime.dwHighDateTime;
}

bool SameFile(const FileIdentity& first, const FileIdentity& second) {
    return first.known && second.known && SameFile(first.info, second.info);
}

}  // namespace files
