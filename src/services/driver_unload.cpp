#include "services/driver_unload.h"

#include <algorithm>
#include <array>

#include "ostra/platform_error.h"
#include "services/service_control.h"
#include "system/privileges.h"
#include "utils/last_error.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/windows_headers.h"
#include <winioctl.h>
#include "utils/platform/setupapi_api.h"

namespace services {
namespace {

// Control code 0x89AA200B: device type 0x89AA, function 0x802, METHOD_NEITHER, FILE_ANY_ACCESS.
constexpr DWORD kCommitRequest = CTL_CODE(0x89AA, 0x802, METHOD_NEITHER, FILE_ANY_ACCESS);

constexpr DWORD kServicePropertyBytes = 510;

struct DeviceSetTraits {
    using Handle = HDEVINFO;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { utils::api::SetupDiDestroyDeviceInfoList(h); }
};
using DeviceSet = utils::UniqueHandle<DeviceSetTraits>;

}  // namespace

std::uint32_t StopThroughServiceManager(SdkEventLog& log, const std::wstring& serviceName) {
    return StopServiceByName(log, serviceName);
}

std::uint32_t UnloadFilter(SdkEventLog& log, const std::wstring& serviceName) {
    return privileges::UnloadFilterWithPrivilege(log, serviceName);
}

std::uint32_t UnloadDriver(SdkEventLog& log, const std::wstring& serviceName, StopRoutine stop) {
    if (!IsServiceRunning(log, serviceName)) return 0;
    if (const std::uint32_t code = stop(log, serviceName); code != 0) {
        LogMessage(log, kLogWarning, L"Fail to stop driver '%s': 0x%08X", serviceName.c_str(), code);
        return code;
    }
    IsServiceRunning(log, serviceName);
    LogMessage(log, kLogProgress, L"Driver '%s' has been stopped", serviceName.c_str());
    return 0;
}

std::uint32_t RemoveServiceDevices(SdkEventLog& log, const std::vector<std::wstring>& serviceNames) {
    const DeviceSet devices(utils::api::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!devices) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogError, L"Failed to get device set: 0x%08X", error);
        return error;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; utils::api::SetupDiEnumDeviceInfo(devices.Get(), index, &device); ++index) {
        // One character short of the buffer, so that the name always ends in NUL.
        std::array<wchar_t, kServicePropertyBytes / sizeof(wchar_t) + 1> service{};
        if (!utils::api::SetupDiGetDeviceRegistryPropertyW(devices.Get(), &device, SPDRP_SERVICE, nullptr,
                                                           reinterpret_cast<BYTE*>(service.data()),
                                                           kServicePropertyBytes, nullptr)) {
            continue;
        }
        const std::wstring name = service.data();
        if (std::find(serviceNames.begin(), serviceNames.end(), name) == serviceNames.end()) continue;
        LogMessage(log, kLogProgress, L"Removing driver %s from device set", name.c_str());
        if (!utils::api::SetupDiRemoveDevice(devices.Get(), &device)) {
            LogMessage(log, kLogWarning, L"Failed to remove driver from device set: 0x%08X", ::GetLastError());
        }
    }
    return 0;
}

utils::FileHandle OpenDriverDevice(const std::wstring& deviceName) {
    const std::wstring path = L"\\\\.\\GLOBALROOT\\Device\\" + deviceName;
    utils::FileHandle device(utils::api::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
    if (!device) ThrowPlatformError(::GetLastError(), "Error opening driver");
    return device;
}

bool SendCommitRequest(const utils::FileHandle& device, std::uint32_t& error) {
    DWORD returned = 0;
    if (utils::api::DeviceIoControl(device.Get(), kCommitRequest, nullptr, 0, nullptr, 0, &returned, nullptr)) {
        error = 0;
        return true;
    }
    error = ::GetLastError();
    return false;
}

}  // namespace services
