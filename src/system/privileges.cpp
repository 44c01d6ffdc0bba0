#include "system/privileges.h"

#include <cstdio>
#include <stdexcept>

#include "utils/platform/kernel_api.h"
#include "utils/platform/security_api.h"
#include "utils/system_dll_wrapper.h"
#include "utils/unique_handle.h"

namespace privileges {
namespace {

constexpr wchar_t kLoadDriverPrivilege[] = L"SeLoadDriverPrivilege";

// The current process's token opened for adjusting; empty on failure, with
// the reason in the last error.
utils::KernelHandle OpenOwnToken() {
    HANDLE token = nullptr;
    if (!utils::api::OpenProcessToken(utils::api::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return utils::KernelHandle();
    }
    return utils::KernelHandle(token);
}

// Enables the one privilege `id`, without asking for the previous state. A
// call that succeeds without assigning the privilege is not told apart.
bool EnableInToken(HANDLE token, const LUID& id) {
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = id;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return utils::api::AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr) != FALSE;
}

}  // namespace

void EnablePrivilege(const std::wstring& name) {
    const utils::KernelHandle token = OpenOwnToken();
    char text[128];
    if (!token) {
        std::snprintf(text, sizeof text, "OpenProcessToken failed, err %d", static_cast<int>(::GetLastError()));
        throw std::runtime_error(text);
    }
    LUID id{};
    if (!utils::api::LookupPrivilegeValueW(nullptr, name.c_str(), &id)) return;
    if (!EnableInToken(token.Get(), id)) {
        std::snprintf(text, sizeof text, "AdjustTokenPrivileges failed, err %lu",
                      static_cast<unsigned long>(::GetLastError()));
        throw std::runtime_error(text);  // the token is closed on the way out
    }
}

std::uint32_t UnloadFilterWithPrivilege(SdkEventLog& log, const std::wstring& filterName) {
    const utils::KernelHandle token = OpenOwnToken();
    if (!token) {
        const std::uint32_t status = ::GetLastError();
        LogMessage(log, kLogError, L"Failed to open process token: 0x%08x", status);
        return status;
    }
    LUID id{};
    if (!utils::api::LookupPrivilegeValueW(nullptr, kLoadDriverPrivilege, &id)) {
        const std::uint32_t status = ::GetLastError();
        LogMessage(log, kLogError, L"Failed to lookup for privilege: 0x%08x", status);
        return status;
    }
    if (!EnableInToken(token.Get(), id)) {
        const std::uint32_t status = ::GetLastError();
        LogMessage(log, kLogError, L"Failed to adjust %s privilege: 0x%08x\n", kLoadDriverPrivilege, status);
        return status;
    }
    return static_cast<std::uint32_t>(utils::fltLibDll->FilterUnload(filterName.c_str()));
}

}  // namespace privileges
