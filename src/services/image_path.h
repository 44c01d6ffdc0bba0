#pragma once
// A driver service's "ImagePath", the file Windows loads for it. The install
// actions rewrite it to bring a new image into service without a restart and
// put the previous text back afterwards; the guard below does that also when
// they are left by an exception.

#include <string>

#include "log/event_log.h"
#include "services/service_control.h"

namespace services {

// The text of the service's "ImagePath" whatever its value type, up to its
// first NUL. Failures are logged and returned (31 for a failure that carries
// no platform error number); `imagePath` is then left as it was.
Win32Error GetServiceImagePath(SdkEventLog& log, const std::wstring& serviceName, std::wstring& imagePath);

// Writes `imagePath` as REG_EXPAND_SZ, its terminating NUL included.
Win32Error SetServiceImagePath(SdkEventLog& log, const std::wstring& serviceName, const std::wstring& imagePath);

// Writes `saved` back as the "ImagePath" of service `serviceName` when it
// goes out of scope, unless dismissed or `saved` is empty by then. `saved` is
// held by reference, so the value swapped out later in the same scope is the
// one restored. Never throws; a failed restore is logged.
class ImagePathRestoreGuard {
public:
    ImagePathRestoreGuard(SdkEventLog& log, std::wstring serviceName, const std::wstring& saved)
        : log_(log), serviceName_(std::move(serviceName)), saved_(saved) {}
    ~ImagePathRestoreGuard();
    ImagePathRestoreGuard(const ImagePathRestoreGuard&) = delete;
    ImagePathRestoreGuard& operator=(const ImagePathRestoreGuard&) = delete;

    void Dismiss() noexcept { dismissed_ = true; }

private:
    SdkEventLog& log_;
    const std::wstring serviceName_;
    const std::wstring& saved_;
    bool dismissed_ = false;
};

}  // namespace services
