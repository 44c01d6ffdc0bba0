// The tag of vxearly in the "Early-Launch" load order, in two steps that
// group_tag.sh runs in one prefix: "Setup" creates the service, writes its
// "Tag" value and the order list; the prefix's services are then restarted
// (Wine assigns no tags itself, but its service manager reads "Tag" when it
// starts); "Check" asks for the tag and removes it from the list.
#include <windows.h>

#include <gtest/gtest.h>

#include "ostra/platform_error.h"
#include "services/group_tag.h"

namespace {

constexpr wchar_t kGroupOrderList[] = L"SYSTEM\\CurrentControlSet\\Control\\GroupOrderList";

void WriteOrder(const std::vector<DWORD>& entries, DWORD type = REG_BINARY) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kGroupOrderList, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Early-Launch", 0, type, reinterpret_cast<const BYTE*>(entries.data()),
                   static_cast<DWORD>(entries.size() * sizeof(DWORD)));
    RegCloseKey(key);
}

std::vector<DWORD> ReadOrder(DWORD* type = nullptr) {
    HKEY key = nullptr;
    std::vector<DWORD> entries(512);
    DWORD size = static_cast<DWORD>(entries.size() * sizeof(DWORD));
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupOrderList, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    RegQueryValueExW(key, L"Early-Launch", nullptr, type, reinterpret_cast<BYTE*>(entries.data()), &size);
    RegCloseKey(key);
    entries.resize(size / sizeof(DWORD));
    return entries;
}

void CreateDriverService(const wchar_t* name, const wchar_t* group, DWORD tag) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, L"System32\\drivers\\vxearly.sys",
                                       group, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr) << GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    HKEY key = nullptr;
    const std::wstring path = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + name;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegSetValueExW(key, L"Tag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&tag), sizeof tag);
    RegCloseKey(key);
}

TEST(Setup, ServicesTagsAndOrderList) {
    CreateDriverService(L"vxearly", L"Early-Launch", 7);
    CreateDriverService(L"vxother", L"Boot Bus Extender", 7);
    CreateDriverService(L"vxunlisted", L"Early-Launch", 4);
    WriteOrder({4, 5, 7, 9, 7});
}

TEST(Check, TagOfAServiceInItsGroup) {
    EXPECT_EQ(services::GetServiceGroupTag(L"vxearly", L"Early-Launch"), 7);
    EXPECT_EQ(services::GetServiceGroupTag(L"vxearly", L"early-launch"), 7);  // any letter case
    EXPECT_EQ(services::GetServiceGroupTag(L"vxother", L"Early-Launch"), -1);     // another group
    EXPECT_EQ(services::GetServiceGroupTag(L"vxunlisted", L"Early-Launch"), -1);  // tag not in the list
    try {
        services::GetServiceGroupTag(L"vxmissing", L"Early-Launch");
        ADD_FAILURE() << "a missing service raises";
    } catch (const PlatformError& error) {
        EXPECT_EQ(PlatformErrorCode(error), 1060u);
        EXPECT_EQ(std::string(error.what()).rfind("Error openinig service", 0), 0u);
    }
}

TEST(Check, OnlyTheFirstOccurrenceIsRemoved) {
    services::RemoveVxearlyFromEarlyLaunchOrder();
    EXPECT_EQ(ReadOrder(), (std::vector<DWORD>{3, 5, 9, 7}));
    services::RemoveVxearlyFromEarlyLaunchOrder();
    EXPECT_EQ(ReadOrder(), (std::vector<DWORD>{2, 5, 9}));
    services::RemoveVxearlyFromEarlyLaunchOrder();  // no longer listed: unchanged
    EXPECT_EQ(ReadOrder(), (std::vector<DWORD>{2, 5, 9}));
}

// Only a binary value is a tag list: the same entries under another type
// list no tags, and the value is left as it is.
TEST(Check, AnOrderListOfAnotherTypeHoldsNoTags) {
    for (const DWORD type : {REG_NONE, REG_SZ, REG_MULTI_SZ, REG_DWORD}) {
        SCOPED_TRACE(type);
        WriteOrder({2, 7, 7}, type);
        EXPECT_EQ(services::GetServiceGroupTag(L"vxearly", L"Early-Launch"), -1);
        services::RemoveVxearlyFromEarlyLaunchOrder();
        DWORD stored = REG_BINARY;
        EXPECT_EQ(ReadOrder(&stored), (std::vector<DWORD>{2, 7, 7}));
        EXPECT_EQ(stored, type);
    }
    WriteOrder({2, 7, 7});
    EXPECT_EQ(services::GetServiceGroupTag(L"vxearly", L"Early-Launch"), 7);
}

}  // namespace
