#include "utils/executable_path.h"

#include <vector>

#include "utils/platform/kernel_api.h"

namespace utils {

std::wstring ExecutablePath(DWORD capacity) {
    std::vector<wchar_t> path(capacity);
    const DWORD length = api::GetModuleFileNameW(nullptr, path.data(), capacity);
    if (length == 0) return {};
    if (length >= capacity) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return {};
    }
    return std::wstring(path.data(), length);
}

}  // namespace utils
