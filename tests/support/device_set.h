#pragma once
// Devices in Wine's device set as tests make and count them: root devices
// whose driver service is a given name.

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace testsupport {

// A root device `instance` (e.g. "ROOT\\LEGACY_VXFSD\\0000") of the System
// class whose driver service is `service`.
inline void MakeRootDevice(const std::wstring& instance, const std::wstring& service) {
    const GUID system = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    HDEVINFO set = SetupDiCreateDeviceInfoList(&system, nullptr);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiCreateDeviceInfoW(set, instance.c_str(), &system, nullptr, nullptr, 0, &device))
        << GetLastError();
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_SERVICE,
                                                  reinterpret_cast<const BYTE*>(service.c_str()),
                                                  static_cast<DWORD>((service.size() + 1) * sizeof(wchar_t))));
    ASSERT_TRUE(SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr)) << GetLastError();
    SetupDiDestroyDeviceInfoList(set);
}

// How many devices of the whole set name `service` (exactly, with case) as their driver service.
inline std::size_t DevicesOfService(const std::wstring& service) {
    std::size_t found = 0;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t name[256] = {};
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_SERVICE, nullptr, reinterpret_cast<BYTE*>(name),
                                              sizeof name - sizeof(wchar_t), nullptr) &&
            service == name) {
            ++found;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

}  // namespace testsupport
