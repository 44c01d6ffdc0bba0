#pragma once
// A real Win32 service registered with Wine's Service Control Manager for the
// life of the object (the test service image, demand start), with direct
// access to its registry key. Deleted again at the end of the test; a service
// that is still running is stopped first.

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/wait.h"

namespace testsupport {

class ScratchService {
public:
    explicit ScratchService(std::wstring name) : name_(std::move(name)) {
        image_ = dir_.File(L"test_service.exe");
        CopyFileOrThrow(TEST_SERVICE_EXE, image_);
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        const std::wstring binary = L"\"" + image_ + L"\" " + name_;
        service_ = CreateServiceW(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
        if (!service_) {
            CloseServiceHandle(manager_);
            throw std::runtime_error("cannot create the scratch service");
        }
    }
    ~ScratchService() {
        SERVICE_STATUS status{};
        ControlService(service_, SERVICE_CONTROL_STOP, &status);
        WaitForState(SERVICE_STOPPED);
        DeleteService(service_);
        CloseServiceHandle(service_);
        CloseServiceHandle(manager_);
    }
    ScratchService(const ScratchService&) = delete;
    ScratchService& operator=(const ScratchService&) = delete;

    const std::wstring& Name() const { return name_; }
    SC_HANDLE Handle() const { return service_; }

    bool Start() {
        return StartServiceW(service_, 0, nullptr) && WaitForState(SERVICE_RUNNING);
    }
    bool Stop() {
        SERVICE_STATUS status{};
        return ControlService(service_, SERVICE_CONTROL_STOP, &status) && WaitForState(SERVICE_STOPPED);
    }
    // False when the state is not reached within 10 s or cannot be read.
    bool WaitForState(DWORD wanted) const {
        bool unreadable = false;
        const bool reached = WaitUntil(
            [&] {
                SERVICE_STATUS status{};
                unreadable = !QueryServiceStatus(service_, &status);
                return unreadable || status.dwCurrentState == wanted;
            },
            std::chrono::seconds(10));
        return reached && !unreadable;
    }

    // The service's access rules as the manager reports them.
    std::vector<BYTE> Dacl() const {
        DWORD needed = 0;
        QueryServiceObjectSecurity(service_, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        std::vector<BYTE> descriptor(needed);
        if (!needed || !QueryServiceObjectSecurity(service_, DACL_SECURITY_INFORMATION, descriptor.data(), needed,
                                                   &needed)) {
            return {};
        }
        return descriptor;
    }

    // Values of the service's key, written and read without the installer's code.
    std::wstring KeyPath() const { return L"SYSTEM\\CurrentControlSet\\Services\\" + name_; }
    void SetValue(const wchar_t* value, DWORD type, const void* data, DWORD size) const {
        if (RegSetKeyValueW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), value, type, data, size) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot write a service value");
        }
    }
    void SetDword(const wchar_t* value, DWORD data) const { SetValue(value, REG_DWORD, &data, sizeof data); }
    void DeleteValue(const wchar_t* value) const {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), value);
    }
    struct Value {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    std::optional<Value> ReadValue(const wchar_t* value) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        Value result;
        DWORD size = 0;
        LSTATUS error = RegQueryValueExW(key, value, nullptr, &result.type, nullptr, &size);
        if (error == ERROR_SUCCESS) {
            result.data.resize(size + 1);
            error = RegQueryValueExW(key, value, nullptr, &result.type, result.data.data(), &size);
            result.data.resize(size);
        }
        RegCloseKey(key);
        if (error != ERROR_SUCCESS) return std::nullopt;
        return result;
    }
    std::optional<DWORD> ReadDword(const wchar_t* value) const {
        const auto read = ReadValue(value);
        if (!read || read->type != REG_DWORD || read->data.size() != sizeof(DWORD)) return std::nullopt;
        DWORD data = 0;
        std::memcpy(&data, read->data.data(), sizeof data);
        return data;
    }

private:
    TempDir dir_;
    std::wstring name_;
    std::wstring image_;
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

}  // namespace testsupport
