// The early-launch hive under Wine. Wine's system directory has no "config"
// folder and no ELAM hive, so the test makes the folder and saves a scratch
// key there as the hive. Wine loads and unloads such a hive but does not
// write changes back to the file when it unloads, so the tests that look at
// the written blocks hold the unload back through the seam and read the
// values while the hive is still loaded.
#include "system/early_launch.h"

#include <gtest/gtest.h>

#include "support/driver_services.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "system/privileges.h"
#include "utils/platform/registry_api.h"

namespace {

using testsupport::Contains;
using testsupport::MakeElamHive;
using testsupport::ScratchLog;

std::wstring SystemDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

std::vector<std::uint8_t> ReadBinary(const wchar_t* keyPath, const wchar_t* name) {
    HKEY key = nullptr;
    std::vector<std::uint8_t> data;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return data;
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return data;
    }
    data.resize(size);
    RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    RegCloseKey(key);
    return data;
}

bool KeyExists(const wchar_t* path) {
    HKEY key = nullptr;
    const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists) RegCloseKey(key);
    return exists;
}

// Counts the unloads and holds them back, so that the hive stays loaded.
struct HeldUnload {
    inline static int calls = 0;
    static LSTATUS WINAPI Hold(HKEY, LPCWSTR) {
        ++calls;
        return ERROR_SUCCESS;
    }
    HeldUnload() { calls = 0; }
    utils::ScopedOverride<decltype(utils::api::RegUnLoadKeyW)> guard{utils::api::RegUnLoadKeyW, &Hold};
};

class ElamHive : public testing::Test {
protected:
    void SetUp() override { MakeElamHive(); }
    void TearDown() override { RegUnLoadKeyW(HKEY_LOCAL_MACHINE, L"ELAM"); }
};

TEST_F(ElamHive, InstallWritesBothBlocksAndUninstallRemovesTheKey) {
    HeldUnload held;
    ScratchLog log;
    EXPECT_TRUE(earlylaunch::SetVxearlyParameters(log, true));
    EXPECT_EQ(HeldUnload::calls, 1);

    const std::vector<std::uint8_t> block0 = ReadBinary(L"ELAM\\Orvanta Lab", L"Block0");
    const std::vector<std::uint8_t> config = ReadBinary(L"ELAM\\Orvanta Lab", L"Config");
    ASSERT_EQ(block0.size(), 68u);
    ASSERT_EQ(config.size(), 64u);
    const std::vector<std::uint8_t> block0Head = {0xe7, 0x7f, 0xe0, 0x68, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
                                                  0x00, 0x01, 0x00, 0x00, 0x00, 0x34, 0x00, 0x00, 0x00, 0x01, 0x00,
                                                  0x00, 0x00, 0x04, 0x80, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x01,
                                                  0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::vector<std::uint8_t>(block0.begin(), block0.begin() + 44), block0Head);
    EXPECT_EQ(std::vector<std::uint8_t>(block0.end() - 4, block0.end()), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    const std::vector<std::uint8_t> expectedConfig = {
        0x7b, 0x67, 0xfd, 0x09, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
        0xb5, 0xe4, 0xdd, 0x17, 0x92, 0x0e, 0xcd, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x10, 0x00, 0x00, 0x00, 0x04, 0x80, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(config, expectedConfig);

    // The hive is still loaded: the uninstall finds it mounted already.
    utils::ScopedOverride mounted(utils::api::RegLoadKeyW, [](HKEY, LPCWSTR, LPCWSTR) -> LSTATUS { return 0; });
    EXPECT_TRUE(earlylaunch::SetVxearlyParameters(log, false));
    EXPECT_FALSE(KeyExists(L"ELAM\\Orvanta Lab"));
    EXPECT_TRUE(KeyExists(L"ELAM"));

    const auto messages = log.Messages();
    const std::wstring system = SystemDirectory();
    for (const std::string& expected :
         {std::string("Action start : SetVxearlyParameters."),
          "RegLoadKey(" + std::string(system.begin(), system.end()) + "\\config\\ELAM): ok",
          std::string("SetVxearlyParameters: Block0 parameter set."),
          std::string("SetVxearlyParameters: Config parameter set."), std::string("SetVxearlyParameters: Key deleted"),
          std::string("Action ended : SetVxearlyParameters. Return value 1.")}) {
        EXPECT_TRUE(Contains(messages, expected)) << expected;
    }
}

TEST_F(ElamHive, RealUnloadLeavesTheMountPoint) {
    ScratchLog log;
    EXPECT_TRUE(earlylaunch::SetVxearlyParameters(log, true));
    EXPECT_FALSE(KeyExists(L"ELAM"));
}

TEST_F(ElamHive, UninstallWithoutTheKey) {
    ScratchLog log;
    EXPECT_FALSE(earlylaunch::SetVxearlyParameters(log, false));
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "SetVxearlyParameters: Key delete failed : 2"));
    EXPECT_TRUE(Contains(messages, "Action ended : SetVxearlyParameters. Return value 0."));
}

TEST_F(ElamHive, FailingBlock0StillWritesConfig) {
    HeldUnload held;
    utils::ScopedOverride failing(utils::api::RegSetValueExW,
                                  [](HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                     DWORD size) -> LSTATUS {
                                      if (lstrcmpW(name, L"Block0") == 0) return ERROR_ACCESS_DENIED;
                                      return RegSetValueExW(key, name, reserved, type, data, size);
                                  });
    ScratchLog log;
    EXPECT_FALSE(earlylaunch::SetVxearlyParameters(log, true));
    EXPECT_TRUE(ReadBinary(L"ELAM\\Orvanta Lab", L"Block0").empty());
    EXPECT_EQ(ReadBinary(L"ELAM\\Orvanta Lab", L"Config").size(), 64u);
    EXPECT_TRUE(Contains(log.Messages(), "SetVxearlyParameters: Block0 parameter set failed: 5"));
}

TEST_F(ElamHive, FailingHiveLoadTouchesNothing) {
    HeldUnload held;
    utils::ScopedOverride failing(utils::api::RegLoadKeyW,
                                  [](HKEY, LPCWSTR, LPCWSTR) -> LSTATUS { return ERROR_ACCESS_DENIED; });
    ScratchLog log;
    EXPECT_FALSE(earlylaunch::SetVxearlyParameters(log, true));
    EXPECT_EQ(HeldUnload::calls, 0);
    EXPECT_FALSE(KeyExists(L"ELAM"));
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "RegLoadKey(ELAM): error 5"));
    EXPECT_EQ(messages.back(), "Action ended : SetVxearlyParameters. Return value 0.");
}

}  // namespace
