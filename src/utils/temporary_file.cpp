#include "utils/temporary_file.h"

#include "utils/platform/kernel_api.h"

namespace utils {

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        Reset();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

void TemporaryFile::Reset() noexcept {
    if (path_.empty()) return;
    // A file that cannot be deleted now (in use, or the call failed) is
    // queued for deletion at the next restart rather than left for good. A
    // file that is already gone needs neither.
    if (!api::DeleteFileW(path_.c_str())) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            api::MoveFileExW(path_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }
    path_.clear();
}

}  // namespace utils
