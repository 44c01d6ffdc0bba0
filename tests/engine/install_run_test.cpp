// Installing lists of the sample product's drivers as one run: the check of
// the system first, then every driver, the hand-over with "no reboot", and
// the rollback when a driver fails.
#include "engine/install_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/install_actions.h"
#include "support/driver_services.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/system_dll_wrapper.h"

namespace {

using describe::DriverDescription;
using testsupport::Contains;
using testsupport::RegisterDriverService;
using testsupport::RemoveService;
using testsupport::ScratchLog;
using testsupport::ServiceState;
using testsupport::TempDir;

void SetDeleteFlag(const std::wstring& name) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + name).c_str(), 0, KEY_SET_VALUE, &key);
    const DWORD one = 1;
    RegSetValueExW(key, L"DeleteFlag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
}

class InstallRun : public testing::Test {
protected:
    InstallRun() {
        testsupport::CopyTreeOrThrow(std::wstring(TARNEL_DIST_DIR) + L"\\drivers\\x64", dir_.Path());
        if (!utils::fltLibDll) utils::fltLibDll = std::make_unique<utils::FltLibDllWrapper>();
    }
    ~InstallRun() override {
        ScratchLog log;
        engine::UninstallDrivers(log, {Driver(L"vxmon"), Driver(L"vxfsd")});
        RemoveService(L"vxmon");
        RemoveService(L"vxfsd");
    }

    DriverDescription Driver(const wchar_t* name) const {
        DriverDescription d;
        d.Name = name;
        d.ServiceName = name;
        d.Folder = dir_.Path();
        d.ImageFile = std::wstring(name) + L".sys";
        d.InfFile = std::wstring(name) + L".inf";
        d.InstallType = L"Automatic";
        return d;
    }

    TempDir dir_;
};

TEST_F(InstallRun, AllDriversRunning) {
    ScratchLog log;
    EXPECT_EQ(engine::InstallDrivers(log, {Driver(L"vxmon"), Driver(L"vxfsd")}, L"", false), engine::kAllRunning);
    EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceState(L"vxfsd"), static_cast<DWORD>(SERVICE_RUNNING));
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Start system verify for driver deleted"));
    EXPECT_TRUE(Contains(messages, "Service 'vxmon' not registered"));
}

// The second driver cannot be installed: the first goes again, and the
// result is the second one's code.
TEST_F(InstallRun, SecondDriverFailingTakesTheFirstBack) {
    DriverDescription broken = Driver(L"vxfsd");
    testsupport::WriteFileText(dir_.File(L"broken.inf"), "[Version]\r\nSignature = \"$Windows NT$\"\r\n");
    broken.InfFile = L"broken.inf";
    ScratchLog log;
    const std::uint32_t result = engine::InstallDrivers(log, {Driver(L"vxmon"), broken}, L"", false);
    EXPECT_EQ(result, static_cast<std::uint32_t>(ERROR_GEN_FAILURE));  // its install section cannot be listed
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    // Undone newest first, the failed driver included.
    std::vector<std::string> undone;
    for (const auto& m : log.Messages()) {
        if (m.find(" uninstallation result: ") != std::string::npos) undone.push_back(m);
    }
    EXPECT_EQ(undone, (std::vector<std::string>{"Driver vxfsd uninstallation result: 0x00000424",
                                                "Driver vxmon uninstallation result: 0x00000000"}));
}

TEST_F(InstallRun, RegisteredServiceWithoutDeleteFlagStopsTheRunFirst) {
    RegisterDriverService(L"vxfsd", dir_.File(L"vxfsd.sys"));
    RegisterDriverService(L"vxtrap", dir_.File(L"vxtrap.sys"));  // exempt
    ScratchLog log;
    EXPECT_EQ(engine::InstallDrivers(log, {Driver(L"vxtrap"), Driver(L"vxmon"), Driver(L"vxfsd")}, L"", false),
              ostra::kServiceNotMarkedForDeletion);
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Skip service 'vxtrap' mark for deletion checking"));
    EXPECT_TRUE(Contains(messages, "Service 'vxfsd' has no delete flag"));
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);  // nothing installed

    SetDeleteFlag(L"vxfsd");
    ScratchLog marked;
    EXPECT_EQ(engine::VerifyDeletedDrivers(marked, {Driver(L"vxfsd")}), 0u);
    EXPECT_TRUE(Contains(marked.Messages(), "Service 'vxfsd' has delete flag"));
    RemoveService(L"vxtrap");
}

DWORD CommitReceived(const std::wstring& service) {
    DWORD value = 0, size = sizeof value;
    RegGetValueW(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + service).c_str(), L"CommitReceived",
                 RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

std::string EnabledDriver(const std::vector<std::string>& messages) {
    for (const auto& m : messages) {
        if (m.rfind("Driver vxmon-", 0) == 0 && m.find(" is enabled") != std::string::npos) {
            return m.substr(7, m.size() - 7 - std::string(" is enabled").size());
        }
    }
    return {};
}

// vxmon is always handed over with "no reboot", even when it runs already.
TEST_F(InstallRun, NoRebootHandsVxmonOverToATemporaryService) {
    ScratchLog log;
    EXPECT_EQ(engine::InstallDrivers(log, {Driver(L"vxmon")}, L"", true), engine::kAllRunning);
    const auto messages = log.Messages();
    const std::string temporary = EnabledDriver(messages);
    ASSERT_FALSE(temporary.empty());
    EXPECT_TRUE(Contains(messages, "Responsibility transfer commit of driver " + temporary + " succeeded"));
    EXPECT_EQ(CommitReceived(std::wstring(temporary.begin(), temporary.end())), 1u);
}

TEST_F(InstallRun, FailedCommitIsLoggedAndChangesNothing) {
    utils::ScopedOverride failing(utils::api::DeviceIoControl, [](HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD,
                                                                  LPOVERLAPPED) -> BOOL {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    });
    ScratchLog log;
    EXPECT_EQ(engine::InstallDrivers(log, {Driver(L"vxmon")}, L"", true), engine::kAllRunning);
    const auto messages = log.Messages();
    const std::string temporary = EnabledDriver(messages);
    EXPECT_TRUE(Contains(messages, "Responsibility transfer commit of driver " + temporary + " failed: 0x00000001"));
    EXPECT_EQ(CommitReceived(std::wstring(temporary.begin(), temporary.end())), 0u);
    EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(InstallRun, UninstallDriversGoesLastFirstAndToleratesMissingServices) {
    ScratchLog install;
    ASSERT_EQ(engine::InstallDrivers(install, {Driver(L"vxmon"), Driver(L"vxfsd")}, L"", false), engine::kAllRunning);
    ScratchLog log;
    EXPECT_EQ(engine::UninstallDrivers(log, {Driver(L"vxmon"), Driver(L"vxfsd"), Driver(L"vxaux")}), 0u);
    std::vector<std::string> order;
    for (const auto& m : log.Messages()) {
        if (m.rfind("Driver vx", 0) == 0 && m.find("uninstallation result") != std::string::npos) order.push_back(m);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Driver vxaux uninstallation result: 0x00000424",
                                               "Driver vxfsd uninstallation result: 0x00000000",
                                               "Driver vxmon uninstallation result: 0x00000000"}));
}

}  // namespace
