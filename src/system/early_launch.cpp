#include "system/early_launch.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <vector>

#include "services/service_control.h"
#include "system/group_order.h"
#include "system/platform_error.h"
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
constexpr wchar_t kGroupOrderList[] = L"SYSTEM\\CurrentControlSet\\Control\\GroupOrderList";
constexpr DWORD kMaxGroupOrderBytes = 2048;

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
    HKEY created = nullptr;
    const LSTATUS status = utils::api::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &created, nullptr);
    RegKeyHandle key(created);
    if (status != ERROR_SUCCESS) {
        LogMessage(log, 9, L"SetVxearlyParameters: Key creation failed : %d", status);
        return false;
    }
    bool written = true;
    if (const LSTATUS e = WriteBlock(key.Get(), L"Block0", kBlock0); e != ERROR_SUCCESS) {
        LogMessage(log, 9, L"SetVxearlyParameters: Block0 parameter set failed: %d", e);
        written = false;
    } else {
        LogMessage(log, 9, L"SetVxearlyParameters: Block0 parameter set.");
    }
    if (const LSTATUS e = WriteBlock(key.Get(), L"Config", kConfig); e != ERROR_SUCCESS) {
        LogMessage(log, 9, L"SetVxearlyParameters: Config parameter set failed: %d", e);
        written = false;
    } else {
        LogMessage(log, 9, L"SetVxearlyParameters: Config parameter set.");
    }
    return written;
}

bool DeleteSettings(SdkEventLog& log) {
    HKEY opened = nullptr;
    const LSTATUS status = utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMountKey, 0, KEY_READ | KEY_WRITE, &opened);
    RegKeyHandle mount(opened);
    if (status != ERROR_SUCCESS) {
        LogMessage(log, 9, L"SetVxearlyParameters: Key open failed : %d", status);
        return false;
    }
    if (const LSTATUS e = utils::api::RegDeleteKeyW(mount.Get(), kMakerKey); e != ERROR_SUCCESS) {
        LogMessage(log, 9, L"SetVxearlyParameters: Key delete failed : %d", e);
        return false;
    }
    LogMessage(log, 9, L"SetVxearlyParameters: Key deleted");
    return true;
}

// The group's order list, at most 2048 bytes; nothing when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadGroupOrder(const std::wstring& group) {
    HKEY opened = nullptr;
    if (utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupOrderList, 0, KEY_ALL_ACCESS, &opened) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegKeyHandle key(opened);
    std::vector<std::uint8_t> data(kMaxGroupOrderBytes);
    DWORD size = kMaxGroupOrderBytes;
    DWORD type = 0;
    if (utils::api::RegQueryValueExW(key.Get(), group.c_str(), nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
}

}  // namespace

bool SetVxearlyParameters(SdkEventLog& log, bool install) {
    LogMessage(log, 9, L"Action start : SetVxearlyParameters.");
    try {
        privileges::EnablePrivilege(L"SeRestorePrivilege");
        privileges::EnablePrivilege(L"SeBackupPrivilege");
    } catch (const std::runtime_error& error) {
        LogMessageA(log, 9, "Adjust privileges: runtime exception '%s'", error.what());
        return false;
    }
    wchar_t systemDirectory[MAX_PATH] = {};
    const UINT length = utils::api::GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        LogMessage(log, 9, L"SetVxearlyParameters: could not get System folder");
        return false;
    }
    const std::wstring hive = std::wstring(systemDirectory) + L"\\config\\ELAM";

    bool result = false;
    if (const LSTATUS e = utils::api::RegLoadKeyW(HKEY_LOCAL_MACHINE, kMountKey, hive.c_str()); e != ERROR_SUCCESS) {
        LogMessage(log, 9, L"RegLoadKey(%s): error %d", kMountKey, e);
    } else {
        LogMessage(log, 9, L"RegLoadKey(%s): ok", hive.c_str());
        result = install ? WriteSettings(log) : DeleteSettings(log);
        utils::api::RegUnLoadKeyW(HKEY_LOCAL_MACHINE, kMountKey);
    }
    LogMessage(log, 9, L"Action ended : SetVxearlyParameters. Return value %d.", result ? 1 : 0);
    return result;
}

std::int32_t GetServiceGroupTag(const std::wstring& service, const std::wstring& group) {
    const services::ServiceHandle handle = services::OpenServiceByName(service);
    std::vector<std::uint8_t> buffer(4096);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    if (!utils::api::QueryServiceConfigW(handle.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        return -1;
    }
    if (config->lpLoadOrderGroup == nullptr || utils::api::lstrcmpiW(config->lpLoadOrderGroup, group.c_str()) != 0 ||
        config->dwTagId == 0) {
        return -1;
    }
    const auto order = ReadGroupOrder(group);
    if (!order || !grouporder::ContainsTag(*order, config->dwTagId)) return -1;
    return static_cast<std::int32_t>(config->dwTagId);
}

void RemoveVxearlyFromEarlyLaunchOrder() {
    const std::int32_t tag = GetServiceGroupTag(L"vxearly", L"Early-Launch");
    auto order = ReadGroupOrder(L"Early-Launch");
    if (!order || tag == -1) return;
    if (!grouporder::RemoveFirstTag(*order, static_cast<std::uint32_t>(tag))) return;
    HKEY opened = nullptr;
    if (utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupOrderList, 0, KEY_ALL_ACCESS, &opened) !=
        ERROR_SUCCESS) {
        return;
    }
    RegKeyHandle key(opened);
    // A failed write leaves the list as it was; nothing depends on it.
    utils::api::RegSetValueExW(key.Get(), L"Early-Launch", 0, REG_BINARY, order->data(),
                               static_cast<DWORD>(order->size()));
}

}  // namespace earlylaunch
