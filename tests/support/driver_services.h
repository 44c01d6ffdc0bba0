#pragma once
// Services and driver files as tests set them up and look at them: the state
// of a service, a kernel driver service registered by hand, its removal
// within a bound, the system's drivers folder and its early-launch hive.

#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "support/wait.h"
#include "system/privileges.h"

namespace testsupport {

// The service's state (SERVICE_RUNNING, ...); 0 when it is not registered.
inline DWORD ServiceState(const std::wstring& name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    const DWORD state = service && QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return state;
}

inline bool ServiceExists(const std::wstring& name) {
    return ServiceState(name) != 0;
}

// Stops the service (waiting at most 5 s) and deletes it; nothing when it is not registered.
inline void RemoveService(const std::wstring& name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        WaitUntil([&] { return !QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED; },
                  std::chrono::seconds(5), std::chrono::milliseconds(100));
        DeleteService(service);
        CloseServiceHandle(service);
    }
    if (manager) CloseServiceHandle(manager);
}

// A kernel driver service (demand start) for `imagePath`, not started.
inline void RegisterDriverService(const std::wstring& name, const std::wstring& imagePath) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    if (!service) throw std::runtime_error("cannot register the driver service");
}

// <system>\drivers\, with its trailing backslash.
inline std::wstring DriversFolder() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\drivers\\";
}

// An empty hive file at <system>\config\ELAM, which a Wine prefix does not
// have: a scratch key saved there.
inline void MakeElamHive() {
    privileges::EnablePrivilege(L"SeBackupPrivilege");
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring config = std::wstring(system) + L"\\config";
    CreateDirectoryW(config.c_str(), nullptr);
    const std::wstring hive = config + L"\\ELAM";
    DeleteFileW(hive.c_str());
    HKEY seed = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TarnelTests\\ElamSeed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &seed, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the hive's seed key");
    }
    const LSTATUS saved = RegSaveKeyW(seed, hive.c_str(), nullptr);
    RegCloseKey(seed);
    if (saved != ERROR_SUCCESS) throw std::runtime_error("cannot save the early-launch hive");
}

}  // namespace testsupport
