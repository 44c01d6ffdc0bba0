// Installing and removing the sample product's vxmon package (its real INF and
// test kernel driver) with Wine's Setup API and Service Control Manager.
#include "engine/inf_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/pending_value.h"
#include "ostra/platform_error.h"
#include "support/driver_services.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/service_api.h"
#include "utils/platform/setupapi_api.h"

namespace {

using testsupport::Contains;
using testsupport::DriversFolder;
using testsupport::FileExists;
using testsupport::HasMessageStartingWith;
using testsupport::ReadFileText;
using testsupport::ScratchLog;
using testsupport::ServiceExists;
using testsupport::TempDir;

// The vxmon package of the install image, copied into a folder of its own;
// whatever the test installs is removed again at the end.
class VxmonPackage : public testing::Test {
protected:
    VxmonPackage() {
        const std::wstring dist = std::wstring(TARNEL_DIST_DIR) + L"\\drivers\\x64\\";
        for (const wchar_t* name : {L"vxmon.inf", L"vxmon.sys", L"vxmon.cat"}) {
            testsupport::CopyFileOrThrow(dist + name, dir_.File(name));
        }
    }
    ~VxmonPackage() override {
        ScratchLog log;
        engine::UninstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", L"");
    }

    std::wstring Installed() const { return DriversFolder() + L"vxmon.sys"; }
    std::string Shipped() const { return ReadFileText(dir_.File(L"vxmon.sys")); }

    TempDir dir_;
    testsupport::PendingValue pending_;
};

TEST_F(VxmonPackage, InstallsAndUninstalls) {
    ScratchLog log;
    ASSERT_EQ(engine::InstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", false), 0u);
    EXPECT_EQ(ReadFileText(Installed()), Shipped());
    EXPECT_TRUE(ServiceExists(L"vxmon"));
    EXPECT_TRUE(Contains(log.Messages(), "Action ended : reg_inf. Return value 0x0."));

    EXPECT_EQ(engine::UninstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", L""), 0u);
    EXPECT_FALSE(FileExists(Installed()));
    EXPECT_FALSE(ServiceExists(L"vxmon"));
}

TEST_F(VxmonPackage, FileInTheWayIsMovedAsideAndQueuedForDeletion) {
    testsupport::WriteFileText(Installed(), "an older image");
    ScratchLog log;
    ASSERT_EQ(engine::InstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", false), 0u);
    EXPECT_EQ(ReadFileText(Installed()), Shipped());

    // The old image now lies in the temporary folder under its name and a
    // GUID, queued for deletion: a source with an empty target.
    const auto queued = pending_.Strings();
    ASSERT_EQ(queued.size(), 2u);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring moved = queued[0].substr(4);  // after "\??\"
    EXPECT_EQ(moved.substr(0, wcslen(temp) + 9), std::wstring(temp) + L"vxmon.sys");
    EXPECT_EQ(queued[1], L"");
    EXPECT_EQ(ReadFileText(moved), "an older image");
}

// The service is reported running and the manager refuses its security
// (Wine keeps no deletion mark, so both come through the seam): the mark is
// taken back and only the install section is applied, without its services.
int servicesInstalls = 0;

TEST_F(VxmonPackage, RunningServiceMarkedForDeletionKeepsItsRegistration) {
    ScratchLog log;
    ASSERT_EQ(engine::InstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", false), 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\vxmon", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    const DWORD one = 1, disabled = 4;
    RegSetValueExW(key, L"DeleteFlag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegSetValueExW(key, L"Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&disabled), sizeof disabled);

    utils::ScopedOverride running(utils::api::QueryServiceStatusEx,
                                  [](SC_HANDLE, SC_STATUS_TYPE, LPBYTE buffer, DWORD, LPDWORD) -> BOOL {
                                      reinterpret_cast<SERVICE_STATUS_PROCESS*>(buffer)->dwCurrentState =
                                          SERVICE_RUNNING;
                                      return TRUE;
                                  });
    utils::ScopedOverride marked(utils::api::SetServiceObjectSecurity,
                                 [](SC_HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) -> BOOL {
                                     SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
                                     return FALSE;
                                 });
    servicesInstalls = 0;
    utils::ScopedOverride services(utils::api::SetupInstallServicesFromInfSectionW, [](HINF, PCWSTR, DWORD) -> BOOL {
        ++servicesInstalls;
        return TRUE;
    });
    ScratchLog second;
    EXPECT_EQ(engine::InstallInfDriver(second, L"vxmon", dir_.Path(), L"vxmon.inf", false), 0u);
    EXPECT_EQ(servicesInstalls, 0);
    DWORD start = 0, size = sizeof start;
    EXPECT_EQ(RegQueryValueExW(key, L"DeleteFlag", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, L"Start", nullptr, nullptr, reinterpret_cast<BYTE*>(&start), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(start, 1u);  // the INF's StartType
    RegCloseKey(key);
}

TEST_F(VxmonPackage, FailedApplyIsCleanedUpAndReturned) {
    utils::ScopedOverride failing(utils::api::SetupInstallServicesFromInfSectionW, [](HINF, PCWSTR, DWORD) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    ScratchLog log;
    EXPECT_EQ(engine::InstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", false),
              static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Contains(log.Messages(), "reg_inf failed. Perform cleaning up"));
    EXPECT_FALSE(FileExists(Installed()));
}

// A reboot-time operation queued earlier would overwrite the new image; its
// protection cannot be queued.
TEST_F(VxmonPackage, FailedProtectionIsCleanedUpAndReturned) {
    TempDir elsewhere;
    testsupport::WriteFileText(elsewhere.File(L"stale.sys"), "stale");
    pending_.WriteStrings({L"\\??\\" + elsewhere.File(L"stale.sys"), L"!\\??\\" + Installed()});
    utils::ScopedOverride failing(utils::api::MoveFileExW, [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    ScratchLog log;
    EXPECT_EQ(engine::InstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", false),
              static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Contains(log.Messages(), "reg_inf failed. Perform cleaning up"));
    EXPECT_FALSE(ServiceExists(L"vxmon"));
}

TEST_F(VxmonPackage, UnreadableInfFilesStopTheInstallBeforeAnyChange) {
    // Files to copy, but no "DestinationDirs" to say where.
    testsupport::WriteFileText(dir_.File(L"nodest.inf"),
                               "[Version]\r\nSignature = \"$Windows NT$\"\r\n"
                               "[DefaultInstall.ntamd64]\r\nCopyFiles = files\r\n[files]\r\nvxmon.sys\r\n");
    struct Row {
        const char* name;
        const wchar_t* inf;
        std::uint32_t result;
        std::string line;
    };
    const Row rows[] = {
        {"INF missing (a runtime error)", L"missing.inf", ERROR_GEN_FAILURE,
         "Failed to get install files from inf-file: Error opening inf file: 0x00000002 (Unknown result code)"},
        {"line missing (a platform error)", L"nodest.inf", ERROR_LINE_NOT_FOUND,
         "Failed to get install files from inf-file: 0xE0000102 - Error finding line in inf"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchLog log;
        EXPECT_EQ(engine::ClearInstallTargets(log, dir_.File(row.inf), false), row.result);
        EXPECT_TRUE(HasMessageStartingWith(log.Messages(), row.line));
        EXPECT_EQ(engine::InstallInfDriver(log, L"vxmon", dir_.Path(), row.inf, false), row.result);
        EXPECT_FALSE(ServiceExists(L"vxmon"));
        EXPECT_FALSE(Contains(log.Messages(), "Action start : reg_inf."));
    }
}

TEST_F(VxmonPackage, UninstallWithoutItsSectionStillSucceeds) {
    testsupport::WriteFileText(dir_.File(L"bare.inf"), "[Version]\r\nSignature = \"$Windows NT$\"\r\n");
    ScratchLog log;
    EXPECT_EQ(engine::UninstallInfDriver(log, L"vxmon", dir_.Path(), L"bare.inf", L""), 0u);
    EXPECT_TRUE(Contains(log.Messages(), "reg_inf failed"));
}

// Which catalogs the uninstall asks wintrust.dll to remove.
int wintrustLoads = 0;

TEST_F(VxmonPackage, CatalogRemovedOnlyWhenNamed) {
    utils::ScopedOverride load(utils::api::LoadLibraryW, [](LPCWSTR path) -> HMODULE {
        if (std::wstring(path).find(L"intrust") != std::wstring::npos) ++wintrustLoads;
        return LoadLibraryW(path);
    });
    ScratchLog log;
    wintrustLoads = 0;
    engine::UninstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", L"");
    EXPECT_EQ(wintrustLoads, 0);
    engine::UninstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", L"vxmon.cat");
    EXPECT_EQ(wintrustLoads, 1);
}

// The early-launch tag goes first, in any letter case of the name: without a
// vxearly service the tag lookup raises, before the uninstall section runs.
TEST_F(VxmonPackage, EarlyLaunchTagComesFirstForVxearly) {
    for (const wchar_t* name : {L"vxearly", L"VXEARLY"}) {
        SCOPED_TRACE(testing::Message() << static_cast<char>(name[0]));
        ScratchLog log;
        EXPECT_THROW(engine::UninstallInfDriver(log, name, dir_.Path(), L"vxmon.inf", L""), PlatformError);
        EXPECT_FALSE(Contains(log.Messages(), "Action start : reg_inf."));
    }
    ScratchLog log;
    EXPECT_NO_THROW(engine::UninstallInfDriver(log, L"vxmon", dir_.Path(), L"vxmon.inf", L""));
}

}  // namespace
