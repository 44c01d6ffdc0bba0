// "--cleanup" through the real tarnel.exe with the sample product, on a
// registry scene of update services in two control sets. Wine keeps
// "CurrentControlSet" as a key of its own and has no "ControlSet001", so the
// tests make ControlSet001 and ControlSet002 themselves, point Select\Current
// at one of them and register that set's services with the service manager.
#include "engine/product_cleanup.h"

#include <gtest/gtest.h>

#include "support/fake_executable.h"
#include "support/fake_windows.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/registry_api.h"
#include "utils/platform/shell_api.h"

namespace {

using testsupport::Contains;
using testsupport::ScratchLog;

constexpr DWORD kMarker = 0xD0E24539;

HKEY CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << std::string(path.begin(), path.end());
    return key;
}

void SetDword(const std::wstring& path, const wchar_t* name, DWORD value) {
    HKEY key = CreateKey(path);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

void SetString(const std::wstring& path, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
    HKEY key = CreateKey(path);
    RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists) RegCloseKey(key);
    return exists;
}

bool ServiceRegistered(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

void RegisterDriverService(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       L"System32\\drivers\\none.sys", nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(service, nullptr) << GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// The entries of PendingFileRenameOperations, lower-cased.
std::vector<std::wstring> PendingRenames() {
    HKEY key = nullptr;
    std::vector<std::wstring> entries;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        return entries;
    }
    DWORD size = 0;
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size);
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1);
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                     &size);
    RegCloseKey(key);
    for (std::size_t at = 0; at < size / sizeof(wchar_t);) {
        std::wstring entry(data.data() + at);
        at += entry.size() + 1;
        for (wchar_t& c : entry) c = towlower(c);
        entries.push_back(entry);
    }
    return entries;
}

// Source path of each rename pair whose destination is empty (a deletion).
std::vector<std::wstring> QueuedDeletions() {
    const auto entries = PendingRenames();
    std::vector<std::wstring> deletions;
    for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (entries[i + 1].empty()) deletions.push_back(entries[i]);
    }
    return deletions;
}

bool Queued(const std::vector<std::wstring>& deletions, const std::wstring& path) {
    std::wstring wanted = L"\\??\\" + path;
    for (wchar_t& c : wanted) c = towlower(c);
    for (const auto& deletion : deletions) {
        if (deletion == wanted) return true;
    }
    return false;
}

constexpr wchar_t kSet1[] = L"SYSTEM\\ControlSet001\\Services\\";
constexpr wchar_t kSet2[] = L"SYSTEM\\ControlSet002\\Services\\";

void DeleteServiceIfRegistered(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
    if (service) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

// Every test of the program shares one prefix: each scene starts clean.
void ClearScene() {
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet001");
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet002");
    DeleteServiceIfRegistered(L"VXRENEW_vxfsd_1");
    DeleteServiceIfRegistered(L"vxrenew_VXFSD_x");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_SET_VALUE,
                      &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

class CleanupScene : public testing::Test {
protected:
    void TearDown() override { ClearScene(); }
    void SetUp() override {
        ClearScene();
        SetString(L"SOFTWARE\\OrvantaLab\\sdk\\Settings", L"Key", L"value");
        SetDword(L"SYSTEM\\Select", L"Current", 1);
        const std::wstring s1 = kSet1, s2 = kSet2;
        // Services of the product in the current set.
        SetDword(s1 + L"VXRENEW_vxfsd_1", L"VXRenewMarker", kMarker);
        SetString(s1 + L"VXRENEW_vxfsd_1", L"ImagePath", L"\\??\\" + files_.File(L"upd1.sys"), REG_EXPAND_SZ);
        SetString(s1 + L"VXRENEW_vxfsd_1", L"CatFilename", files_.File(L"upd1.cat"));
        SetString(s1 + L"VXRENEW_vxfsd_1\\Parameters\\Deep", L"x", L"y");
        SetDword(s1 + L"vxrenew_VXFSD_x", L"VXRenewMarker", kMarker);
        SetString(s1 + L"vxrenew_VXFSD_x", L"ImagePath", L"System32\\drivers\\updx.sys", REG_EXPAND_SZ);
        RegisterDriverService(L"VXRENEW_vxfsd_1");
        RegisterDriverService(L"vxrenew_VXFSD_x");
        // Look alike, but not the product's.
        SetDword(s1 + L"VXRENEW_vxfsd_bad", L"VXRenewMarker", 0);
        SetDword(s1 + L"VXRENEW_vxfsd_", L"VXRenewMarker", kMarker);
        SetDword(s1 + L"VXRENEW_vxfsd2_1", L"VXRenewMarker", kMarker);
        SetDword(s1 + L"OtherDriver", L"Start", 3);
        // A product service of the other set: its files and key go, the service manager is not asked.
        SetDword(s2 + L"VXRENEW_vxfsd_2", L"VXRenewMarker", kMarker);
        SetString(s2 + L"VXRENEW_vxfsd_2", L"ImagePath", L"\\SystemRoot\\System32\\drivers\\upd2.sys", REG_EXPAND_SZ);
    }

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
    for (const wchar_t* kept : {L"VXRENEW_vxfsd_bad", L"VXRENEW_vxfsd_", L"VXRENEW_vxfsd2_1", L"OtherDriver"}) {
        EXPECT_TRUE(KeyExists(s1 + kept)) << std::wstring(kept).size();
    }
    EXPECT_FALSE(ServiceRegistered(L"VXRENEW_vxfsd_1"));
    EXPECT_FALSE(ServiceRegistered(L"vxrenew_VXFSD_x"));

    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring drivers = std::wstring(windows) + L"\\system32\\drivers\\";
    const auto deletions = QueuedDeletions();
    EXPECT_TRUE(Queued(deletions, files_.File(L"upd1.sys")));
    EXPECT_TRUE(Queued(deletions, files_.File(L"upd1.cat")));
    EXPECT_TRUE(Queued(deletions, drivers + L"updx.sys"));
    EXPECT_TRUE(Queued(deletions, drivers + L"upd2.sys"));
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

}  // namespace
