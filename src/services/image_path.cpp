#include "services/image_path.h"

#include <cstdint>
#include <exception>
#include <vector>

#include "log/failure_boundary.h"
#include "services/image_path_text.h"
#include "services/service_key.h"

namespace services {
namespace {

constexpr wchar_t kImagePath[] = L"ImagePath";

std::wstring FailureText(const std::wstring& serviceName) {
    return L"Failed to get image path for service " + serviceName;
}

}  // namespace

Win32Error GetServiceImagePath(SdkEventLog& log, const std::wstring& serviceName, std::wstring& imagePath) {
    return CodeAtBoundary(log, kLogError, FailureText(serviceName), [&]() -> Win32Error {
        const registry::RegKeyHandle key = OpenServiceKey(serviceName, KEY_READ);
        const std::vector<std::uint8_t> data = registry::ReadValueData(key.Get(), kImagePath);
        imagePath = ImagePathFromValueData(data.data(), data.size());
        return 0;
    });
}

Win32Error SetServiceImagePath(SdkEventLog& log, const std::wstring& serviceName, const std::wstring& imagePath) {
    return CodeAtBoundary(log, kLogError, FailureText(serviceName), [&]() -> Win32Error {
        const registry::RegKeyHandle key = OpenServiceKey(serviceName, KEY_WRITE);
        const DWORD bytes = static_cast<DWORD>((imagePath.size() + 1) * sizeof(wchar_t));
        return static_cast<Win32Error>(utils::api::RegSetValueExW(
            key.Get(), kImagePath, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(imagePath.c_str()), bytes));
    });
}

ImagePathRestoreGuard::~ImagePathRestoreGuard() {
    if (dismissed_ || saved_.empty()) return;
    try {
        if (SetServiceImagePath(log_, serviceName_, saved_) != 0) {
            LogMessage(log_, kLogError, L"Failed to restore ImagePath for service %s", serviceName_.c_str());
        }
    } catch (...) {
        // A guard that runs while an exception is on its way out must not raise another.
    }
}

}  // namespace services
