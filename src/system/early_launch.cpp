#include "system/early_launch.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <vector>

#include "ostra/platform_error.h"
#include "system/privileges.h"
#include "system/registry.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"

namespace earlylaunch {
namespace {

using registry::RegKeyHandle;

constexpr wchar_t kMountKey[] = L"ELAM";
constexpr wchar_t kSettingsKey[] = L"ELAM\\Orvanta Lab";
constexpr wchar_t kMakerKey[] = L"Orvanta Lab";

// The settings blocks the driver reads; only the driver interprets them.
// Bytes 44 to 63 of Block0 identify the installed vxearly build.
constexpr std::array<std::uint8_t, 68> kBlock0 = {
    0xe7, 0x7f, 0xe0, 0x68, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x34,
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x80, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00,
    0x5a, 0x1c, 0x9e, 0x40, 0x7d, 0x23, 0xb8, 0x61, 0x0f, 0xc4, 0x39, 0xe2, 0x86, 0x17, 0xd5, 0x4b, 0xa0,
    0x6e, 0x92, 0x3f,
    0x01, 0x00, 0x00, 0x00};
constexpr std::array<std::uint8_t, 64> kConfig = {
    0x7b, 0x67, 0xfd, 0x09, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
    0xb5, 0xe4, 0xdd, 0x17, 0x92, 0x0e, 0xcd, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
    0x10, 0x00, 0x00, 0x00, 0x04, 0x80, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};

template <std::size_t N>
LSTATUS WriteBlock(HKEY key, const wchar_t* name, const std::array<std::uint8_t, N>& block) {
    return utils::api::RegSetValueExW(key, name, 0, REG_BINARY, block.data(), static_cast<DWORD>(block.size()));
}

bool WriteSettings(SdkEventLog& log) {
    RegKeyHandle key;
    const LSTATUS status = utils::api::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: Key creation failed : %d", status);
        return false;
    }
    bool written = true;
    if (const LSTATUS e = WriteBlock(key.Get(), L"Block0", kBlock0); e != ERROR_SUCCESS) {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: Block0 parameter set failed: %d", e);
        written = false;
    } else {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: Block0 parameter set.");
    }
    if (const LSTATUS e = WriteBlock(key.Get(), L"Config", kConfig); e != ERROR_SUCCESS) {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: Config parameter set failed: %d", e);
        written = false;
    } else {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: Config parameter set.");
    }
    return written;
}

bool DeleteSettings(SdkEventLog& log) {
    RegKeyHandle mount;
    const LSTATUS status =
        utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMountKey, 0, KEY_READ | KEY_WRITE, mount.Put());
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: Key open failed : %d", status);
        return false;
    }
    if (const LSTATUS e = utils::api::RegDeleteKeyW(mount.Get(), kMakerKey); e != ERROR_SUCCESS) {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: Key delete failed : %d", e);
        return false;
    }
    LogMessage(log, kLogDetail, L"SetVxearlyParameters: Key deleted");
    return true;
}

}  // namespace

bool SetVxearlyParameters(SdkEventLog& log, bool install) {
    LogMessage(log, kLogDetail, L"Action start : SetVxearlyParameters.");
    try {
        privileges::EnablePrivilege(L"SeRestorePrivilege");
        privileges::EnablePrivilege(L"SeBackupPrivilege");
    } catch (const std::runtime_error& error) {
        LogMessageA(log, kLogDetail, "Adjust privileges: runtime exception '%s'", error.what());
        return false;
    }
    wchar_t systemDirectory[MAX_PATH] = {};
    const UINT length = utils::api::GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        LogMessage(log, kLogDetail, L"SetVxearlyParameters: could not get System folder");
        return false;
    }
    const std::wstring hive = std::wstring(systemDirectory) + L"\\config\\ELAM";

    bool result = false;
    if (const LSTATUS e = utils::api::RegLoadKeyW(HKEY_LOCAL_MACHINE, kMountKey, hive.c_str()); e != ERROR_SUCCESS) {
        LogMessage(log, kLogDetail, L"RegLoadKey(%s): error %d", kMountKey, e);
    } else {
        LogMessage(log, kLogDetail, L"RegLoadKey(%s): ok", hive.c_str());
        result = install ? WriteSettings(log) : DeleteSettings(log);
        utils::api::RegUnLoadKeyW(HKEY_LOCAL_MACHINE, kMountKey);
    }
    LogMessage(log, kLogDetail, L"Action ended : SetVxearlyParameters. Return value %d.", result ? 1 : 0);
    return result;
}

}  // namespace earlylaunch
