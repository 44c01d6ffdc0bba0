// The legacy device keys under Enum\Root in Wine's registry.
#include "engine/legacy_keys.h"

#include <gtest/gtest.h>

#include "support/scratch_log.h"
#include "utils/platform/registry_api.h"

namespace {

using testsupport::Contains;
using testsupport::ScratchLog;

constexpr wchar_t kEnumRoot[] = L"SYSTEM\\CurrentControlSet\\Enum\\Root";

void MakeKey(const wchar_t* name) {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kEnumRoot) + L"\\" + name + L"\\0000";
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

bool KeyExists(const wchar_t* name) {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kEnumRoot) + L"\\" + name;
    const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists) RegCloseKey(key);
    return exists;
}

std::vector<describe::DriverDescription> Drivers() {
    describe::DriverDescription vxfsd;
    vxfsd.Name = vxfsd.ServiceName = L"vxfsd";
    describe::DriverDescription vxmon;
    vxmon.Name = vxmon.ServiceName = L"vxmon";
    return {vxfsd, vxmon};
}

TEST(CleanupLegacyKeys, RemovesTheProductsKeys) {
    for (const wchar_t* name : {L"LEGACY_VXFSD", L"LEGACY_VXFSD2", L"legacy_vxfsd2x", L"LEGACY_OTHER"}) MakeKey(name);
    ScratchLog log;
    EXPECT_EQ(engine::CleanupLegacyKeys(log, Drivers()), 0u);
    EXPECT_FALSE(KeyExists(L"LEGACY_VXFSD"));
    EXPECT_FALSE(KeyExists(L"LEGACY_VXFSD2"));
    EXPECT_TRUE(KeyExists(L"legacy_vxfsd2x"));
    EXPECT_TRUE(KeyExists(L"LEGACY_OTHER"));
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Found LEGACY key and service to remove: LEGACY_VXFSD - vxfsd"));
    EXPECT_TRUE(Contains(messages, "Found LEGACY key and service to remove: LEGACY_VXFSD2 - vxfsd2"));
    EXPECT_TRUE(Contains(messages, "Key LEGACY_VXFSD2 has been deleted"));

    ScratchLog none;
    EXPECT_EQ(engine::CleanupLegacyKeys(none, Drivers()), 0u);
    for (const auto& m : none.Messages()) EXPECT_EQ(m.find("LEGACY"), std::string::npos) << m;
}

TEST(CleanupLegacyKeys, KeyThatCannotBeDeletedIsSkipped) {
    MakeKey(L"LEGACY_VXMON");
    MakeKey(L"LEGACY_VXFSD");
    utils::ScopedOverride failing(utils::api::RegDeleteTreeW, [](HKEY key, LPCWSTR name) -> LSTATUS {
        if (std::wstring(name) == L"LEGACY_VXFSD") return ERROR_ACCESS_DENIED;
        return RegDeleteTreeW(key, name);
    });
    ScratchLog log;
    EXPECT_EQ(engine::CleanupLegacyKeys(log, Drivers()), 0u);
    EXPECT_TRUE(Contains(log.Messages(), "Failed to delete key LEGACY_VXFSD: 0x00000005"));
    EXPECT_FALSE(KeyExists(L"LEGACY_VXMON"));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kEnumRoot) + L"\\LEGACY_VXFSD").c_str());
}

TEST(CleanupLegacyKeys, RootThatCannotBeOpened) {
    utils::ScopedOverride failing(utils::api::RegOpenKeyExW, [](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) -> LSTATUS {
        return ERROR_ACCESS_DENIED;
    });
    ScratchLog log;
    EXPECT_EQ(engine::CleanupLegacyKeys(log, Drivers()), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Failed to enumerate legacy keys: 0x00000005 - Error open registry key", 0), 0u);
}

}  // namespace
