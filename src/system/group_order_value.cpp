#include "system/group_order_value.h"

#include "system/registry.h"
#include "utils/platform/registry_api.h"

namespace grouporder {
namespace {

constexpr wchar_t kGroupOrderList[] = L"SYSTEM\\CurrentControlSet\\Control\\GroupOrderList";
constexpr DWORD kMaxGroupOrderBytes = 2048;

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadGroupOrder(const std::wstring& group) {
    registry::RegKeyHandle key;
    if (utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupOrderList, 0, KEY_ALL_ACCESS, key.Put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(kMaxGroupOrderBytes);
    DWORD size = kMaxGroupOrderBytes;
    DWORD type = 0;
    if (utils::api::RegQueryValueExW(key.Get(), group.c_str(), nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(type == REG_BINARY ? size : 0);
    return data;
}

bool WriteGroupOrder(const std::wstring& group, const std::vector<std::uint8_t>& data) {
    registry::RegKeyHandle key;
    if (utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupOrderList, 0, KEY_ALL_ACCESS, key.Put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    return utils::api::RegSetValueExW(key.Get(), group.c_str(), 0, REG_BINARY, data.data(),
                                      static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

}  // namespace grouporder
