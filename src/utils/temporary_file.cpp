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
    api::DeleteFileW(path_.c_str());
    path_.clear();
}

}  // namespace utils
