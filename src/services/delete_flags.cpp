#include "services/delete_flags.h"

#include <cstdint>
#include <exception>
#include <vector>

#include "inf/inf_queries.h"
#include "ostra/platform_error.h"
#include "services/service_key.h"

namespace services {
namespace {

constexpr wchar_t kDeleteFlag[] = L"DeleteFlag";
constexpr wchar_t kStart[] = L"Start";
constexpr DWORD kMarked = 1;

LSTATUS SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return utils::api::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

Win32Error GetServiceDeleteFlag(const std::wstring& serviceName, bool& flag) {
    registry::RegKeyHandle key;
    try {
        key = OpenServiceKey(serviceName, KEY_READ);
    } catch (const PlatformError& error) {
        return PlatformErrorCode(error);
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = REG_NONE;
    const LSTATUS error =
        utils::api::RegQueryValueExW(key.Get(), kDeleteFlag, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (error == ERROR_FILE_NOT_FOUND) {
        flag = false;
        return 0;
    }
    if (error != ERROR_SUCCESS) return static_cast<Win32Error>(error);
    // Only the number 1 marks the service: a text or binary value whose
    // bytes happen to read as 1 does not, nor does a shorter value.
    flag = type == REG_DWORD && size == sizeof value && value == kMarked;
    return 0;
}

Win32Error SetServiceDeleteFlag(const std::wstring& serviceName) {
    registry::RegKeyHandle key;
    try {
        key = OpenServiceKey(serviceName, KEY_WRITE);
    } catch (const PlatformError& error) {
        return PlatformErrorCode(error);
    }
    return static_cast<Win32Error>(SetDword(key.Get(), kDeleteFlag, kMarked));
}

Win32Error IsServiceMarkedForDeletion(SdkEventLog& log, const std::wstring& infPath, bool& marked) {
    std::wstring name;
    try {
        name = inf::GetAddServiceName(infPath, inf::GetServicesSectionName());
    } catch (const std::exception& error) {
        LogMessageA(log, kLogError, "Fail to read service name: %s", error.what());
        return ERROR_GEN_FAILURE;
    }
    LogMessage(log, kLogProgress, L"Check mark for delete of service %s", name.c_str());

    ServiceHandle service;
    try {
        service = OpenServiceByName(name);
    } catch (const PlatformError& error) {
        LogMessage(log, kLogError, L"Unable to open service %s, error: 0x%x. %S", name.c_str(), PlatformErrorCode(error),
                   error.what());
        return PlatformErrorCode(error);
    }

    DWORD needed = 0;
    if (!utils::api::QueryServiceObjectSecurity(service.Get(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            LogMessage(log, kLogError, L"Error geting size of %s security object: 0x%x", name.c_str(), error);
            return error;
        }
    }
    std::vector<std::uint8_t> descriptor(needed);
    if (!utils::api::QueryServiceObjectSecurity(service.Get(), DACL_SECURITY_INFORMATION,
                                                descriptor.empty() ? nullptr : descriptor.data(), needed, &needed)) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogError, L"Error geting %s security object: 0x%x ", name.c_str(), error);
        return error;
    }

    // Writing the rules just read changes nothing; a marked service refuses it.
    if (utils::api::SetServiceObjectSecurity(service.Get(), DACL_SECURITY_INFORMATION,
                                             descriptor.empty() ? nullptr : descriptor.data())) {
        marked = false;
        return 0;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_SERVICE_MARKED_FOR_DELETE) {
        LogMessage(log, kLogError, L"Error seting %s security object: 0x%x", name.c_str(), error);
        return error;
    }
    LogMessage(log, kLogProgress, L"%s marked for deletion", name.c_str());
    marked = true;
    return 0;
}

Win32Error UnmarkServiceForDeletion(SdkEventLog& log, const std::wstring& infPath) {
    std::wstring name;
    DWORD startType = 0;
    try {
        const std::wstring section = inf::GetServicesSectionName();
        name = inf::GetAddServiceName(infPath, section);
        startType = static_cast<DWORD>(inf::GetServiceStartType(infPath, section));
    } catch (const std::exception& error) {
        LogMessageA(log, kLogError, "Fail to read data from inf: %s", error.what());
        return ERROR_GEN_FAILURE;
    }

    registry::RegKeyHandle key;
    try {
        key = OpenServiceKey(name, KEY_WRITE);
    } catch (const PlatformError& error) {
        LogMessage(log, kLogError, L"Failed to open service key %s: 0x%08X - %S", name.c_str(), PlatformErrorCode(error),
                   error.what());
        return PlatformErrorCode(error);
    }

    const LSTATUS removed = utils::api::RegDeleteValueW(key.Get(), kDeleteFlag);
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
        LogMessage(log, kLogError, L"Failed remove %s delete flag: 0x%x", name.c_str(), removed);
        return static_cast<Win32Error>(removed);
    }
    const LSTATUS written = SetDword(key.Get(), kStart, startType);
    if (written != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Failed update %s start type: 0x%x", name.c_str(), written);
        return static_cast<Win32Error>(written);
    }
    return 0;
}

}  // namespace services
