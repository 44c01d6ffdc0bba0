// "--install" and "--uninstall" of the sample product through the real
// tarnel.exe, on a Windows 10 or a Windows 7 prefix (one ctest entry each):
// exit codes, services, files, registry and the log lines a user looks for.
// Where Wine cannot show a case, the run goes through the same code in this
// process with one platform call replaced, and the test names the gap.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/driver_runs.h"
#include "app/sample_runs.h"
#include "support/device_set.h"
#include "support/scratch_log.h"
#include "utils/platform/setupapi_api.h"

namespace {

using namespace sampleruns;
using testsupport::DevicesOfService;
using testsupport::FileExists;
using testsupport::MakeRootDevice;
using testsupport::HasMessageStartingWith;
using testsupport::ReadFileText;
using testsupport::ScratchLog;

// Started as "<this program> --hold-while <file>" (by an install as one of
// its command lines), the program waits while the file exists, at most 40 s,
// and ends before any test runs.
const bool kHeld = [] {
    const std::wstring commandLine = GetCommandLineW();
    const std::wstring option = L" --hold-while ";
    const std::size_t at = commandLine.find(option);
    if (at == std::wstring::npos) return false;
    const std::wstring file = commandLine.substr(at + option.size());
    for (int i = 0; i < 800 && FileExists(file); ++i) Sleep(50);
    ExitProcess(0);
}();

using DriverRuns = SampleRuns;

std::string Joined(const std::vector<std::wstring>& names) {
    std::string text;
    for (const auto& name : names) {
        if (!text.empty()) text += ';';
        text += Narrow(name);
    }
    return text;
}

TEST_F(DriverRuns, FreshInstallOfAllFeaturesRunsEveryDriver) {
    EXPECT_EQ(Run(Install(kAllFeatures)), kAllRunning);
    const auto drivers = AllFeatureDrivers();
    for (const auto& name : drivers) {
        SCOPED_TRACE(Narrow(name));
        // The early-launch driver is loaded only by the boot loader.
        const DWORD expected = name == L"vxearly" ? SERVICE_STOPPED : SERVICE_RUNNING;
        EXPECT_EQ(ServiceState(name), expected);
        // The shipped image in the system's drivers folder.
        EXPECT_TRUE(SameFile(testsupport::DriversFolder() + name + L".sys", Package(name + L".sys")));
    }
    EXPECT_FALSE(testsupport::ServiceExists(L"Tarnel"));
    EXPECT_TRUE(FileExists(libraryDir_.File(L"vxtraplib.{1.0.0.1}.dll")));
    const auto messages = Messages();
    EXPECT_TRUE(Contains(messages, "Driver list: " + Joined(drivers)));
    EXPECT_TRUE(Contains(messages, "Execution of Tarnel-service 'Tarnel' has been completed. ExitCode: 0x00000000 "
                                   "ServiceExitCode: 0xffffffff"));
    EXPECT_TRUE(Contains(messages, "Return code: 0xffffffff"));
    if (!OnWindows7()) {
        EXPECT_TRUE(Contains(messages, "Action ended : SetVxearlyParameters. Return value 1."));
        EXPECT_TRUE(Contains(messages, "Driver vxearly installation result: 0xffffffff"));
    }
}

// --- Uninstall ---------------------------------------------------------------

constexpr wchar_t kEnumRoot[] = L"SYSTEM\\CurrentControlSet\\Enum\\Root\\";

void MakeEnumRootKey(const std::wstring& name) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kEnumRoot + name + L"\\0000").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

bool EnumRootKeyExists(const std::wstring& name) {
    HKEY key = nullptr;
    const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kEnumRoot + name).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists) RegCloseKey(key);
    return exists;
}

// The legacy device keys of Enum\Root and their devices, as Windows 7 keeps
// them for the product's drivers (Wine makes none): two of vxfsd (the second
// under a longer name), one of vxmon, and look-alikes that are not the product's.
void MakeLegacyScene() {
    // Registry names ignore case: the lower-case look-alike needs a name of its own.
    for (const wchar_t* name : {L"LEGACY_VXMON", L"legacy_vxmonx"}) MakeEnumRootKey(name);
    MakeRootDevice(L"ROOT\\LEGACY_VXFSD\\0000", L"vxfsd");
    MakeRootDevice(L"ROOT\\LEGACY_VXFSD2\\0000", L"vxfsd2");
    MakeRootDevice(L"ROOT\\LEGACY_OTHER\\0000", L"other");
}

TEST_F(DriverRuns, UninstallRemovesEveryDriverLastFirst) {
    ASSERT_EQ(Run(Install(kAllFeatures)), kAllRunning);
    if (OnWindows7()) MakeLegacyScene();
    ClearLog();

    EXPECT_EQ(Run(L"--uninstall --verbose"), 0u);
    for (const auto& name : AllFeatureDrivers()) {
        SCOPED_TRACE(Narrow(name));
        // Gone, or (on Windows, for a driver that could not be stopped) marked for deletion.
        EXPECT_TRUE(!testsupport::ServiceExists(name) || ServiceDword(name, L"DeleteFlag") == 1);
    }
    EXPECT_FALSE(testsupport::ServiceExists(L"Tarnel"));
    const auto messages = Messages();
    // Every driver of the product, the last of the list first.
    std::string list;
    for (const auto& m : messages) {
        if (m.rfind("Driver list: ", 0) == 0) list = m.substr(13);
    }
    std::vector<std::string> expected;
    for (std::size_t start = 0, end; start <= list.size(); start = end + 1) {
        end = std::min(list.find(';', start), list.size());
        expected.insert(expected.begin(), list.substr(start, end - start));
    }
    const auto results = DriverResults(messages, "uninstallation");
    ASSERT_EQ(results.size(), expected.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].rfind("Driver " + expected[i] + " uninstallation result: ", 0), 0u) << results[i];
    }
    EXPECT_TRUE(Contains(messages, "Return code: 0x00000000"));

    if (OnWindows7()) {
        // The clean-up ran in the service "Tarnel" and took the product's keys and devices.
        EXPECT_TRUE(Contains(messages, "Cleaning up legacy keys in Enum\\Root"));
        EXPECT_TRUE(Contains(messages, "Found LEGACY key and service to remove: LEGACY_VXFSD2 - vxfsd2"));
        EXPECT_TRUE(Contains(messages, "Key LEGACY_VXMON has been deleted"));
        EXPECT_TRUE(Contains(messages, "Removing driver vxfsd2 from device set"));
        for (const wchar_t* gone : {L"LEGACY_VXFSD", L"LEGACY_VXFSD2", L"LEGACY_VXMON"}) {
            EXPECT_FALSE(EnumRootKeyExists(gone)) << Narrow(gone);
        }
        EXPECT_TRUE(EnumRootKeyExists(L"legacy_vxmonx"));  // the pattern is upper case
        EXPECT_TRUE(EnumRootKeyExists(L"LEGACY_OTHER"));
        EXPECT_EQ(DevicesOfService(L"vxfsd"), 0u);
        EXPECT_EQ(DevicesOfService(L"vxfsd2"), 0u);
        EXPECT_EQ(DevicesOfService(L"other"), 1u);
    } else {
        EXPECT_FALSE(HasMessageStartingWith(messages, "Starting Tarnel-service"));
    }

    // Nothing left to remove.
    ClearLog();
    EXPECT_EQ(Run(L"--uninstall --verbose"), 0u);
    EXPECT_TRUE(Contains(Messages(), "Driver vxmon uninstallation result: 0x00000424"));
}

// A driver whose removal fails: the others are still removed, and its code is
// the result, also where the legacy-key clean-up follows and succeeds.
TEST_F(DriverRuns, FailedRemovalIsReportedAfterTheCleanUp) {
    testsupport::RegisterDriverService(L"vxaux", Package(L"vxaux.sys"));
    // The removal leaves the service and its delete flag cannot be read: an
    // eight-byte value where four are expected.
    EditIni("UninstallExec=rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 128 drivers\\x64\\vxaux.inf",
            "UninstallExec=cmd.exe /c exit 0");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\vxaux", 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const BYTE eight[8] = {1};
    RegSetValueExW(key, L"DeleteFlag", 0, REG_BINARY, eight, sizeof eight);
    RegCloseKey(key);

    EXPECT_EQ(Run(L"--uninstall --verbose"), static_cast<DWORD>(ERROR_MORE_DATA));
    const auto messages = Messages();
    EXPECT_TRUE(Contains(messages, "Failed to check service 'vxaux' delete flag: 0x000000ea"));
    EXPECT_TRUE(Contains(messages, "Driver vxmon uninstallation result: 0x00000424"));  // the walk went on
    EXPECT_EQ(Contains(messages, "Cleaning up legacy keys in Enum\\Root"), OnWindows7());
    testsupport::RemoveService(L"vxaux");
}

// --- Failures of an install ----------------------------------------------------

// The second driver's package lacks its install section: the first goes
// again, the code is the second one's, and the service "Tarnel" does not stay.
TEST_F(DriverRuns, FailingDriverRollsTheRunBack) {
    const std::wstring inf = Package(L"vxfsd.inf");
    testsupport::WriteFileText(inf, ReplacedAll(ReadFileText(inf), "[DefaultInstall.ntamd64]", "[Broken]"));
    EXPECT_EQ(Run(Install(L"core")), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    EXPECT_EQ(ServiceState(L"vxfsd"), 0u);
    EXPECT_FALSE(testsupport::ServiceExists(L"Tarnel"));
    const auto messages = Messages();
    EXPECT_TRUE(Contains(messages, "Driver vxfsd installation result: 0x0000001f"));
    EXPECT_EQ(DriverResults(messages, "uninstallation"),
              (std::vector<std::string>{"Driver vxfsd uninstallation result: 0x00000424",
                                        "Driver vxmon uninstallation result: 0x00000000"}));
    EXPECT_TRUE(Contains(messages, "Return code: 0x0000001f"));
}

// A platform failure of the second driver's services section. Wine applies
// the sample's sections without fault, so the seam fails the call; the run
// goes through the install command in this process, as the service runs it.
TEST_F(DriverRuns, PlatformFailureOfTheSecondDriverRollsTheRunBack) {
    const InProcessRun inProcess(tarnel_.Exe());
    static int servicesSections = 0;
    servicesSections = 0;
    utils::ScopedOverride failing(utils::api::SetupInstallServicesFromInfSectionW,
                                  [](HINF inf, PCWSTR section, DWORD flags) -> BOOL {
                                      if (++servicesSections == 2) {
                                          SetLastError(ERROR_ACCESS_DENIED);
                                          return FALSE;
                                      }
                                      return SetupInstallServicesFromInfSectionW(inf, section, flags);
                                  });
    ScratchLog log;
    const std::uint32_t result = app::InstallRun(log, Install(L"core"));
    EXPECT_NE(result, 0u);
    EXPECT_NE(result, kAllRunning);
    const auto messages = log.Messages();
    char expected[64];
    snprintf(expected, sizeof expected, "Driver vxfsd installation result: 0x%08x", result);
    EXPECT_TRUE(Contains(messages, expected));
    EXPECT_TRUE(Contains(messages, "Driver vxmon uninstallation result: 0x00000000"));
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
}

// Nothing changes before the checks pass: a registered driver service without
// its delete flag (three drivers exempt), or a driver the ini does not
// describe for this system.
TEST_F(DriverRuns, NothingChangesBeforeTheChecksPass) {
    std::vector<const wchar_t*> registered{L"vxtrap", L"vxaux", L"vxvaultdisk"};
    if (OnWindows7()) registered.push_back(L"vxpkt");  // joins the list with "backsafe"
    for (const wchar_t* name : registered) {
        testsupport::RegisterDriverService(name, Package(std::wstring(name) + L".sys"));
    }
    EXPECT_EQ(Run(Install(L"core;backsafe")), 0x8000000Du);
    auto messages = Messages();
    EXPECT_TRUE(Contains(messages, "Service 'vxmon' not registered"));
    EXPECT_TRUE(Contains(messages, "Skip service 'vxtrap' mark for deletion checking"));
    EXPECT_TRUE(Contains(messages, "Skip service 'vxaux' mark for deletion checking"));
    EXPECT_EQ(Contains(messages, "Skip service 'vxpkt' mark for deletion checking"), OnWindows7());
    EXPECT_TRUE(Contains(messages, "Service 'vxvaultdisk' has no delete flag"));
    EXPECT_TRUE(Contains(messages, "Return code: 0x8000000d"));
    EXPECT_TRUE(DriverResults(messages, "installation").empty());
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    for (const wchar_t* name : registered) {
        EXPECT_EQ(ServiceState(name), static_cast<DWORD>(SERVICE_STOPPED)) << Narrow(name);
        testsupport::RemoveService(name);
    }

    EditIni(IniSectionStart("vxfsd"), "[vxfsd Winver='99.0 x64");
    ClearLog();
    EXPECT_EQ(Run(Install(L"core")), 0x80070057u);
    messages = Messages();
    EXPECT_TRUE(Contains(messages, "Installation information is undefined for current OS and driver."));
    EXPECT_TRUE(DriverResults(messages, "installation").empty());
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
}

// A second console install while the first one's service runs is refused
// and leaves the first alone. The first install is held in one of its
// command lines until the test lets it go.
TEST_F(DriverRuns, SecondInstallWhileTheFirstRunsIsRefused) {
    const testsupport::TempDir holdDir;
    const std::wstring hold = holdDir.File(L"hold");
    testsupport::WriteFileText(hold, "held");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EditIni("UninstallExec=rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 128 drivers\\x64\\vxaux.inf",
            "UninstallExec=rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 128 drivers\\x64\\vxaux.inf\n"
            "PostInstallExec=\"" + Narrow(self) + "\" --hold-while " + Narrow(hold));

    testsupport::StartedProcess first(tarnel_.Exe(), Install(L"core"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return ServiceState(L"vxaux") == SERVICE_STOPPED ||
                                                    ServiceState(L"vxaux") == SERVICE_RUNNING; },
                                       std::chrono::seconds(30)));
    ASSERT_EQ(ServiceState(L"Tarnel"), static_cast<DWORD>(SERVICE_RUNNING));

    TarnelCopy second;
    second.AddSampleProduct();
    EXPECT_EQ(second.Run(Install(L"core")), 0x420u);
    const auto refused = LogMessages(second.LogLines());
    EXPECT_TRUE(Contains(refused, "Tarnel-service already running. Other installation seems to be in progress"));
    EXPECT_TRUE(Contains(refused, "Return code: 0x00000420"));
    EXPECT_EQ(ServiceState(L"Tarnel"), static_cast<DWORD>(SERVICE_RUNNING));

    DeleteFileW(hold.c_str());
    EXPECT_EQ(first.Wait(60000), kAllRunning);
    EXPECT_FALSE(testsupport::ServiceExists(L"Tarnel"));
    EXPECT_EQ(ServiceState(L"vxaux"), static_cast<DWORD>(SERVICE_RUNNING));
}

}  // namespace
