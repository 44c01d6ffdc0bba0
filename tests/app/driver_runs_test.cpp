// "--install" and "--uninstall" of the sample product through the real
// tarnel.exe on a Windows 10 prefix: exit codes, services, files and the
// log lines a user looks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/driver_services.h"
#include "support/test_support.h"

namespace {

using testsupport::Contains;
using testsupport::LogMessages;
using testsupport::ServiceState;
using testsupport::TarnelCopy;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("no " + from);
    return text.replace(at, from.size(), to);
}

// The sample product beside a copy of tarnel.exe.
class DriverRuns : public testing::Test {
protected:
    DriverRuns() { tarnel_.AddSampleProduct(); }
    ~DriverRuns() override { tarnel_.Run(L"--uninstall"); }

    std::wstring Package(const wchar_t* name) const { return tarnel_.Dir() + L"drivers\\x64\\" + name; }
    std::wstring Install(const wchar_t* features) const {
        return std::wstring(L"--install ") + features + L" --vxtraplib_dir " + libraryDir_.Path() + L" --verbose";
    }
    std::vector<std::string> Messages() const { return LogMessages(tarnel_.LogLines()); }

    TarnelCopy tarnel_;
    testsupport::TempDir libraryDir_;
};

constexpr const wchar_t* kCoreAndBacksafe[] = {L"vxmon", L"vxfsd", L"vxtrap", L"vxvaultdisk", L"vxvault"};

TEST_F(DriverRuns, InstallRunsEveryDriverAndUninstallRemovesThem) {
    EXPECT_EQ(tarnel_.Run(Install(L"core;backsafe")), 0xFFFFFFFFu);
    for (const wchar_t* name : kCoreAndBacksafe) {
        SCOPED_TRACE(testing::Message() << static_cast<char>(name[2]) << static_cast<char>(name[3]));
        EXPECT_EQ(ServiceState(name), static_cast<DWORD>(SERVICE_RUNNING));
    }
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);
    // The hooking driver's library under its versioned name.
    EXPECT_TRUE(testsupport::FileExists(libraryDir_.File(L"vxtraplib.{1.0.0.1}.dll")));
    auto messages = Messages();
    EXPECT_TRUE(Contains(messages, "Driver list: vxmon;vxfsd;vxtrap;vxaux;vxvaultdisk;vxvault"));
    EXPECT_TRUE(Contains(messages, "Return code: 0xffffffff"));

    EXPECT_EQ(tarnel_.Run(L"--uninstall --verbose"), 0u);
    for (const wchar_t* name : kCoreAndBacksafe) EXPECT_NE(ServiceState(name), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);  // no service on Windows 10
    messages = Messages();
    EXPECT_TRUE(Contains(messages, "Driver vxmon uninstallation result: 0x00000000"));
    EXPECT_TRUE(Contains(messages, "Return code: 0x00000000"));
}

TEST_F(DriverRuns, UninstallOfNothingSucceeds) {
    EXPECT_EQ(tarnel_.Run(L"--uninstall --verbose"), 0u);
    EXPECT_TRUE(Contains(Messages(), "Driver vxmon uninstallation result: 0x00000424"));
}

// The second driver's package is broken: the first goes again, the code is
// the second one's, and the service "Tarnel" does not stay.
TEST_F(DriverRuns, FailingDriverRollsTheRunBack) {
    const std::string inf = testsupport::ReadFileText(Package(L"vxfsd.inf"));
    testsupport::WriteFileText(Package(L"vxfsd.inf"), Replaced(inf, "[DefaultInstall.ntamd64]", "[Broken]"));
    const DWORD result = tarnel_.Run(Install(L"core"));
    EXPECT_NE(result, 0u);
    EXPECT_NE(result, 0xFFFFFFFFu);
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);
    EXPECT_TRUE(Contains(Messages(), "Driver vxmon uninstallation result: 0x00000000"));
}

TEST_F(DriverRuns, NothingChangesBeforeTheChecksPass) {
    // A driver service registered without its delete flag.
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE vxfsd = CreateServiceW(manager, L"vxfsd", L"vxfsd", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, Package(L"vxfsd.sys").c_str(), nullptr,
                                     nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(vxfsd, nullptr);
    EXPECT_EQ(tarnel_.Run(Install(L"core")), 0x8000000Du);
    EXPECT_TRUE(Contains(Messages(), "Service 'vxfsd' has no delete flag"));
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    DeleteService(vxfsd);
    CloseServiceHandle(vxfsd);
    CloseServiceHandle(manager);

    // A driver that the ini does not describe for this system.
    const std::wstring ini = tarnel_.Dir() + L"tarnel.ini";
    testsupport::WriteFileText(ini, Replaced(testsupport::ReadFileText(ini), "[vxfsd Winver='10.0 x64']",
                                             "[vxfsd Winver='99.0 x64']"));
    EXPECT_EQ(tarnel_.Run(Install(L"core")), 0x80070057u);
    EXPECT_TRUE(Contains(Messages(), "Installation information is undefined for current OS and driver."));
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
}

}  // namespace
