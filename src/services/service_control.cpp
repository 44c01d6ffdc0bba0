#include "services/service_control.h"

#include <system_error>

#include "utils/admin_only_security.h"
#include "utils/last_error.h"

namespace services {
namespace {

constexpr wchar_t kActiveDatabase[] = L"ServicesActive";

ServiceHandle OpenManager() {
    return ServiceHandle(utils::api::OpenSCManagerW(nullptr, kActiveDatabase, SC_MANAGER_ALL_ACCESS));
}

Win32Error CodeOf(const std::system_error& error) { return static_cast<Win32Error>(error.code().value()); }

void LogOpenFailure(SdkEventLog& log, const wchar_t* format, const std::wstring& name,
                    const std::system_error& error) {
    LogMessage(log, kLogError, format, name.c_str(), CodeOf(error), error.what());
}

constexpr wchar_t kUnableToOpen[] = L"Unable to open service %s, error: 0x%x. %S";

// Opens the service for an operation; on failure logs `failureFormat` and
// leaves the error number in `error`.
ServiceHandle OpenForOperation(SdkEventLog& log, const std::wstring& name, const wchar_t* failureFormat,
                               Win32Error& error) {
    try {
        error = 0;
        return OpenServiceByName(name);
    } catch (const std::system_error& failure) {
        LogOpenFailure(log, failureFormat, name, failure);
        error = CodeOf(failure);
        return ServiceHandle();
    }
}

// Only the local system account and the Administrators may open the service:
// an ordinary user who holds a handle to it keeps a deleted service marked,
// and every later creation fails until a restart.
Win32Error RestrictToAdministrators(SC_HANDLE service) {
    try {
        utils::AdminOnlySecurity security(SERVICE_ALL_ACCESS);
        if (!utils::api::SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, security.Descriptor())) {
            return ::GetLastError();
        }
        return 0;
    } catch (const std::system_error& error) {
        return CodeOf(error);
    }
}

}  // namespace

const char* ServiceStateName(std::uint32_t state) {
    static const char* const kNames[] = {"SERVICE_STOPPED",          "SERVICE_START_PENDING", "SERVICE_STOP_PENDING",
                                         "SERVICE_RUNNING",          "SERVICE_CONTINUE_PENDING",
                                         "SERVICE_PAUSE_PENDING",    "SERVICE_PAUSED"};
    return state >= 1 && state <= 7 ? kNames[state - 1] : "<Unknown>";
}

ServiceHandle OpenServiceByName(const std::wstring& name) {
    ServiceHandle manager = OpenManager();
    utils::ThrowLastErrorIf(!manager, "Error openinig Service Control Manager");
    ServiceHandle service(utils::api::OpenServiceW(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    utils::ThrowLastErrorIf(!service, "Error openinig service");
    return service;
}

Win32Error CheckIsServiceFound(SdkEventLog& log, const std::wstring& name, bool& found) {
    LogMessage(log, kLogProgress, L"CheckIsServiceFound: check for '%s'", name.c_str());
    try {
        OpenServiceByName(name);
    } catch (const std::system_error& error) {
        if (CodeOf(error) == ERROR_SERVICE_DOES_NOT_EXIST) {
            LogMessage(log, kLogProgress, L"CheckIsServiceFound: service '%s' is not found", name.c_str());
            found = false;
            return 0;
        }
        LogOpenFailure(log, L"CheckIsServiceFound: error checking service %s existance: 0x%08x. %S", name, error);
        return CodeOf(error);
    }
    found = true;
    LogMessage(log, kLogProgress, L"CheckIsServiceFound: service '%s' found", name.c_str());
    return 0;
}

Win32Error QueryServiceState(SdkEventLog& log, const std::wstring& name, std::uint32_t& state,
                             SelfServiceExitCodes& exitCodes) {
    Win32Error openError = 0;
    const ServiceHandle service = OpenForOperation(log, name, kUnableToOpen, openError);
    if (!service) return openError;
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!utils::api::QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                          sizeof status, &needed)) {
        const Win32Error error = ::GetLastError();
        LogMessage(log, kLogProgress, L"Failed to get '%s' status: 0x%08x", name.c_str(), error);
        return error;
    }
    state = status.dwCurrentState;
    exitCodes.win32ExitCode = status.dwWin32ExitCode;
    exitCodes.serviceSpecificExitCode = status.dwServiceSpecificExitCode;
    exitCodes.processId = status.dwProcessId;
    return 0;
}

std::uint32_t LoggedServiceState(SdkEventLog& log, const std::wstring& name) {
    std::uint32_t state = 0;
    SelfServiceExitCodes exitCodes;
    if (QueryServiceState(log, name, state, exitCodes) != 0) return 0;
    LogMessage(log, kLogProgress, L"%s state: 0x%08x (%S)", name.c_str(), state, ServiceStateName(state));
    return state;
}

bool IsServiceRunning(SdkEventLog& log, const std::wstring& name) {
    return LoggedServiceState(log, name) == SERVICE_RUNNING;
}

Win32Error StartServiceWithArgument(SdkEventLog& log, const std::wstring& name, const std::wstring& argument) {
    LogMessage(log, kLogProgress, L"Trying to start %s...", name.c_str());
    Win32Error openError = 0;
    const ServiceHandle service = OpenForOperation(log, name, kUnableToOpen, openError);
    if (!service) return openError;
    const wchar_t* arguments[] = {argument.c_str()};
    const DWORD count = argument.empty() ? 0 : 1;
    if (!utils::api::StartServiceW(service.Get(), count, count != 0 ? arguments : nullptr)) {
        const Win32Error error = ::GetLastError();
        LogMessage(log, kLogProgress, L"Failed to start '%s' service: 0x%08x", name.c_str(), error);
        return error;
    }
    LogMessage(log, kLogProgress, L"%s started", name.c_str());
    return 0;
}

Win32Error StopServiceByName(SdkEventLog& log, const std::wstring& name) {
    Win32Error openError = 0;
    const ServiceHandle service = OpenForOperation(log, name, kUnableToOpen, openError);
    if (!service) return openError;
    SERVICE_STATUS status = {};
    if (!utils::api::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        const Win32Error error = ::GetLastError();
        LogMessage(log, kLogError, L"Stop service <%s> error %#x", name.c_str(), error);
        return error;
    }
    LogMessage(log, kLogProgress, L"Service <%s> was stopped", name.c_str());
    return 0;
}

Win32Error CreateDemandStartService(SdkEventLog& log, const std::wstring& name, const std::wstring& imagePath,
                                    const std::wstring& arguments) {
    ServiceHandle manager = OpenManager();
    if (!manager) {
        const Win32Error error = ::GetLastError();
        LogMessage(log, kLogError, L"Error openinig Service Control Manager 0x%08x", error);
        return error;
    }
    const std::wstring binaryPath = imagePath + L" " + arguments;
    ServiceHandle service(utils::api::CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                     SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr,
                                                     nullptr, nullptr, nullptr));
    if (!service) {
        const Win32Error error = ::GetLastError();
        LogMessage(log, kLogError, L"Failed to create service %s 0x%08x", name.c_str(), error);
        return error;
    }
    if (const Win32Error error = RestrictToAdministrators(service.Get()); error != 0) {
        LogMessage(log, kLogError, L"Failed to set security of service %s 0x%08x", name.c_str(), error);
        // Not left behind with the default rules, under which any user may
        // open it and keep it from being deleted.
        utils::api::DeleteService(service.Get());
        return error;
    }
    return 0;
}

Win32Error DeleteServiceByName(SdkEventLog& log, const std::wstring& name) {
    Win32Error openError = 0;
    const ServiceHandle service = OpenForOperation(log, name, L"Unable to delete service %s, error: 0x%x. %S", openError);
    if (!service) return openError;
    if (!utils::api::DeleteService(service.Get())) {
        const Win32Error error = ::GetLastError();
        LogMessage(log, kLogError, L"Unable to delete service %s: 0x%x", name.c_str(), error);
        return error;
    }
    return 0;
}

}  // namespace services
