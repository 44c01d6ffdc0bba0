// "--cleanup" through the real tarnel.exe with the sample product, on the
// registry scene of update services in two control sets
// (support/cleanup_scene.h).
#include "engine/product_cleanup.h"

#include <gtest/gtest.h>

#include "support/cleanup_scene.h"
#include "support/fake_executable.h"
#include "support/fake_windows.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/registry_api.h"
#include "utils/platform/shell_api.h"

namespace {

using testsupport::Contains;
using testsupport::ScratchLog;
using namespace testsupport::scene;

class CleanupScene : public testing::Test {
protected:
    void TearDown() override { ClearScene(); }
    void SetUp() override { BuildScene(files_); }

    testsupport::TempDir files_;
};

TEST_F(CleanupScene, Windows10RemovesTheUpdateServicesOfEveryControlSet) {
    testsupport::TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    EXPECT_EQ(tarnel.Run(L"--cleanup --verbose"), 0u);

    EXPECT_FALSE(KeyExists(L"SOFTWARE\\OrvantaLab\\sdk"));
    const std::wstring s1 = kSet1, s2 = kSet2;
    EXPECT_FALSE(KeyExists(s1 + L"VXRENEW_vxfsd_1"));
    EXPECT_FALSE(KeyExists(s1 + L"vxrenew_VXFSD_x"));
    EXPECT_FALSE(KeyExists(s2 + L"VXRENEW_vxfsd_2"));
    for (const wchar_t* kept : kLookAlikes) {
        EXPECT_TRUE(KeyExists(s1 + kept)) << std::wstring(kept).size();
    }
    EXPECT_FALSE(ServiceRegistered(L"VXRENEW_vxfsd_1"));
    EXPECT_FALSE(ServiceRegistered(L"vxrenew_VXFSD_x"));

    const auto deletions = QueuedDeletions();
    for (const auto& file : SceneFiles(files_)) EXPECT_TRUE(Queued(deletions, file));
    EXPECT_EQ(deletions.size(), 4u);

    const auto messages = testsupport::LogMessages(tarnel.LogLines());
    for (const char* expected : {
             "Proceeding with cleanup", "SDK registry key deleted successfully", "Cleanup drivers for product: vxfsd",
             "Process <ControlSet001>:", "Process <ControlSet002>:", "Searching for services mask <VXRENEW_vxfsd_*>:",
             "Invalid updatable service signature", "Error while processing VXRENEW_vxfsd_bad",
             "Updatable service <VXRENEW_vxfsd_1> was found", "Service <VXRENEW_vxfsd_1> was deleted",
             "Service <VXRENEW_vxfsd_1> was fully deleted", "Service <VXRENEW_vxfsd_2> was fully deleted",
             "Cleanup successfully completed", "Return code: 0x00000000",
         }) {
        EXPECT_TRUE(Contains(messages, expected)) << expected;
    }
    EXPECT_FALSE(Contains(messages, "Service <VXRENEW_vxfsd_2> was deleted"));  // not the current set
}

TEST_F(CleanupScene, Windows81RemovesOnlyTheSdkKey) {
    testsupport::SetPrefixWindowsVersion(L"win81");
    testsupport::TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    EXPECT_EQ(tarnel.Run(L"--cleanup --verbose"), 0u);
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\OrvantaLab\\sdk"));
    EXPECT_TRUE(KeyExists(std::wstring(kSet1) + L"VXRENEW_vxfsd_1"));
    EXPECT_TRUE(KeyExists(std::wstring(kSet2) + L"VXRENEW_vxfsd_2"));
    EXPECT_TRUE(QueuedDeletions().empty());
    const auto messages = testsupport::LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "SDK registry key deleted successfully"));
    EXPECT_FALSE(Contains(messages, "Cleanup drivers for product: vxfsd"));
    testsupport::SetPrefixWindowsVersion(L"win10");
}

TEST_F(CleanupScene, AServiceKeyThatCannotBeDeletedIsPassedOver) {
    testsupport::FakeWindowsVersion win10(10, 0);
    utils::ScopedOverride stuck(utils::api::RegDeleteKeyW, [](HKEY key, LPCWSTR name) -> LSTATUS {
        if (lstrcmpiW(name, L"VXRENEW_vxfsd_1") == 0) return ERROR_ACCESS_DENIED;
        return RegDeleteKeyW(key, name);
    });
    ScratchLog log;
    HKEY system = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM", 0, KEY_READ, &system), ERROR_SUCCESS);
    EXPECT_TRUE(engine::CleanupControlSet(system, L"ControlSet001", L"vxfsd", false, log));
    RegCloseKey(system);
    const std::wstring s1 = kSet1;
    EXPECT_TRUE(KeyExists(s1 + L"VXRENEW_vxfsd_1"));
    EXPECT_FALSE(KeyExists(s1 + L"vxrenew_VXFSD_x"));
    EXPECT_TRUE(Contains(log.Messages(),
                         "Delete registry key <ControlSet001\\Services\\VXRENEW_vxfsd_1> error 0x5"));
}

TEST(ProductCleanup, SdkKeyBeforeWindows10) {
    testsupport::FakeWindowsVersion win81(6, 3);
    {
        utils::ScopedOverride denied(utils::api::SHDeleteKeyW,
                                     [](HKEY, LPCWSTR) -> DWORD { return ERROR_ACCESS_DENIED; });
        ScratchLog log;
        EXPECT_EQ(engine::ProductCleanup(log), 1u);
        EXPECT_TRUE(Contains(log.Messages(), "Failed to delete SDK registry key: 5"));
    }
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvantaLab\\sdk");
    ScratchLog log;  // a key that is not there is no failure
    EXPECT_EQ(engine::ProductCleanup(log), 0u);
    EXPECT_TRUE(Contains(log.Messages(), "SDK registry key deleted successfully"));
}

TEST(ProductCleanup, ProductIdThatCannotBeHad) {
    testsupport::FakeWindowsVersion win10(10, 0);
    testsupport::TempDir dir;
    testsupport::FakeExecutablePath exe(dir.File(L"tarnel.exe"));
    {
        ScratchLog log;  // no tarnel.ini
        EXPECT_EQ(engine::ProductCleanup(log), 0x80004005u);
        EXPECT_TRUE(Contains(log.Messages(), "Error obtaining VXFSD real name."));
    }
    testsupport::WriteFileText(dir.File(L"tarnel.ini"), "[vxfsd Winver='10.0 x64']\r\nFolder=\r\nInfFile=v.inf\r\n");
    testsupport::WriteFileText(dir.File(L"v.inf"), "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\n"
                                                  "[DefaultInstall.ntamd64.Services]\r\nAddService = ,0x2,svc\r\n");
    ScratchLog log;
    EXPECT_EQ(engine::ProductCleanup(log), 0x80070057u);
    EXPECT_TRUE(Contains(log.Messages(), "Obtained VXFSD real name is empty!"));
}

TEST(GetDriverFileFromImagePath, ReadsTheServiceKey) {
    ScratchLog log;
    const std::wstring path = L"SOFTWARE\\TarnelTests\\ImagePath";
    SetString(path, L"ImagePath", L"%SystemRoot%\\System32\\DRIVERS\\D.sys", REG_EXPAND_SZ);
    HKEY key = CreateKey(path);
    std::wstring file;
    EXPECT_TRUE(engine::GetDriverFileFromImagePath(key, file, log));
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring expected = std::wstring(windows) + L"\\system32\\drivers\\d.sys";
    for (wchar_t& c : expected) c = towlower(c);
    EXPECT_EQ(file, expected);
    RegDeleteValueW(key, L"ImagePath");
    EXPECT_FALSE(engine::GetDriverFileFromImagePath(key, file, log));
    EXPECT_TRUE(Contains(log.Messages(), "Query registry value <ImagePath> error 0x2"));
    RegCloseKey(key);
}

// An ImagePath that is no text names no file: the cleanup queues nothing
// for it and says why.
TEST(GetDriverFileFromImagePath, ValuesThatAreNoText) {
    const std::wstring path = L"SOFTWARE\\TarnelTests\\ImagePath";
    HKEY key = CreateKey(path);
    const DWORD number = 0x003A0043;  // the bytes of "C:"
    const BYTE binary[] = {'C', 0, ':', 0, '\\', 0, 'x', 0, 0, 0};
    struct Row {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
    };
    const Row rows[] = {
        {"REG_DWORD", REG_DWORD, &number, sizeof number},
        {"REG_BINARY", REG_BINARY, binary, sizeof binary},
        {"REG_MULTI_SZ", REG_MULTI_SZ, binary, sizeof binary},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchLog log;
        ASSERT_EQ(RegSetValueExW(key, L"ImagePath", 0, row.type, static_cast<const BYTE*>(row.data), row.size),
                  ERROR_SUCCESS);
        std::wstring file = L"untouched";
        EXPECT_FALSE(engine::GetDriverFileFromImagePath(key, file, log));
        EXPECT_EQ(file, L"untouched");
        EXPECT_TRUE(Contains(log.Messages(), "Query registry value <ImagePath> error 0xd"));
    }
    RegDeleteValueW(key, L"ImagePath");
    RegCloseKey(key);
}

}  // namespace
