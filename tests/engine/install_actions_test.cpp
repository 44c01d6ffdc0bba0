// The per-driver install actions on Wine with the sample product's packages
// and test kernel driver: what a user sees afterwards (the result, the
// service and its state, the files, the registry and the log lines).
#include "engine/install_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/crc32.h"
#include "files/pending_value.h"
#include "ostra/platform_error.h"
#include "support/driver_services.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "system/privileges.h"
#include "utils/platform/registry_api.h"
#include "utils/platform/service_api.h"
#include "utils/system_dll_wrapper.h"
#include "services/service_control.h"

namespace {

using describe::DriverDescription;
using testsupport::Contains;
using testsupport::DriversFolder;
using testsupport::FileExists;
using testsupport::HasMessageStartingWith;
using testsupport::MakeElamHive;
using testsupport::ReadFileText;
using testsupport::RegisterDriverService;
using testsupport::RemoveService;
using testsupport::ScratchLog;
using testsupport::ServiceState;
using testsupport::TempDir;

constexpr std::uint32_t kInvalidArgument = 0x80070057;

std::wstring ServiceKey(const wchar_t* name) {
    return std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + name;
}

std::optional<DWORD> ReadDword(const std::wstring& key, const wchar_t* value) {
    DWORD data = 0, size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

std::wstring ReadString(const std::wstring& key, const wchar_t* value) {
    wchar_t data[MAX_PATH] = {};
    DWORD size = sizeof data;
    RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                 data, &size);
    return data;
}

// The packages of the install image in a folder of the test's own; each test
// gets descriptions of them and removes what it installed.
class InstallActions : public testing::Test {
protected:
    InstallActions() {
        testsupport::CopyTreeOrThrow(std::wstring(TARNEL_DIST_DIR) + L"\\drivers\\x64", dir_.Path());
        // The entry loads the version library for the whole run.
        if (!utils::versionDll) utils::versionDll = std::make_unique<utils::VersionDllWrapper>();
    }
    ~InstallActions() override {
        for (const wchar_t* name : {L"vxmon", L"vxfsd", L"vxtrap", L"vxearly"}) {
            RemoveService(name);
            DeleteFileW((DriversFolder() + name + L".sys").c_str());
        }
    }

    DriverDescription Automatic(const wchar_t* name) const {
        DriverDescription d;
        d.Name = name;
        d.ServiceName = name;
        d.Folder = dir_.Path();
        d.ImageFile = std::wstring(name) + L".sys";
        d.InfFile = std::wstring(name) + L".inf";
        d.InstallType = L"automatic";  // letter case does not count
        return d;
    }

    // Commands that leave a line in trace.txt and exit with a code that must change nothing.
    std::wstring Trace(const char* word) const {
        return L"cmd.exe /c echo " + std::wstring(word, word + strlen(word)) + L">>\"" + dir_.File(L"trace.txt") +
               L"\" & exit 5";
    }

    DriverDescription Exec(const wchar_t* name) const {
        DriverDescription d = Automatic(name);
        d.InstallType = L"Exec";
        d.InfFile.clear();
        d.InstallExec = Trace("install");
        d.PostInstallExec = Trace("post-install");
        d.UninstallExec = Trace("uninstall");
        d.PostUninstallExec = Trace("post-uninstall");
        return d;
    }

    // The lines written so far (cmd keeps the blank before "&" in what it echoes).
    std::string TraceText() const {
        std::string text = ReadFileText(dir_.File(L"trace.txt"));
        std::erase(text, ' ');
        return text;
    }

    TempDir dir_;
    testsupport::PendingValue pending_;
};

TEST_F(InstallActions, AutomaticDriverIsInstalledRunningAndRemoved) {
    const DriverDescription vxmon = Automatic(L"vxmon");
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, true, vxmon, L"", false), ostra::kDriverRunning);
    EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ReadFileText(DriversFolder() + L"vxmon.sys"), ReadFileText(dir_.File(L"vxmon.sys")));
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Previous version not detected."));
    EXPECT_TRUE(Contains(messages, "Checking driver installation result..."));
    EXPECT_TRUE(Contains(messages, "Driver vxmon installation result: 0xffffffff"));

    // Once more over the running driver: the previous image is measured.
    const std::string image = ReadFileText(DriversFolder() + L"vxmon.sys");
    wchar_t expected[96] = {};
    swprintf(expected, 96, L"Previous version detected. Size: %u, crc32: 0x%08x.", static_cast<unsigned>(image.size()),
             files::Crc32(image.data(), image.size()));
    ScratchLog again;
    engine::InstallActions(again, true, vxmon, L"", false);
    EXPECT_TRUE(Contains(again.Messages(), std::string(expected, expected + wcslen(expected))));

    ScratchLog removal;
    EXPECT_EQ(engine::InstallActions(removal, false, vxmon, L"", false), 0u);
    EXPECT_TRUE(Contains(removal.Messages(), "Driver vxmon uninstallation result: 0x00000000"));
    EXPECT_FALSE(FileExists(DriversFolder() + L"vxmon.sys"));
}

TEST_F(InstallActions, DescriptionThatDoesNotSufficeChangesNothing) {
    DriverDescription noInf = Automatic(L"vxmon");
    noInf.InfFile.clear();
    DriverDescription net = Automatic(L"vxnet");
    net.InstallType = L"AsNetComponent";
    DriverDescription noExec = Exec(L"vxaux");
    noExec.UninstallExec.clear();
    DriverDescription unknown = Automatic(L"vxmon");
    unknown.InstallType = L"Manual";
    struct Row {
        const char* name;
        DriverDescription description;
        const char* line;
    };
    const Row rows[] = {
        {"Automatic without INF", noInf, "Not enough data for installation. Inf file is undefined."},
        {"net component without its keys", net, "Not enough data for installation as network component."},
        {"Exec without uninstall line", noExec, "Not enough data for installation. Exec string undefined."},
        {"unknown type", unknown, "Processing method is undefined or unsupported."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (bool install : {true, false}) {
            ScratchLog log;
            EXPECT_EQ(engine::InstallActions(log, install, row.description, L"", false), kInvalidArgument);
            EXPECT_EQ(log.Messages(), std::vector<std::string>{row.line});
        }
    }
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    EXPECT_EQ(TraceText(), "");
}

TEST_F(InstallActions, UninstallWithoutServiceRunsNothing) {
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, false, Exec(L"vxaux"), L"", false), 0x424u);
    EXPECT_TRUE(Contains(log.Messages(), "Driver vxaux uninstallation result: 0x00000424"));
    EXPECT_EQ(TraceText(), "");
}

// An Exec driver whose command lines install no service: the result check
// fails it, unless the description skips that check.
TEST_F(InstallActions, ExecRunsItsCommandLinesAndIsChecked) {
    DriverDescription vxaux = Exec(L"vxaux");
    {
        ScratchLog log;
        EXPECT_EQ(engine::InstallActions(log, true, vxaux, L"", false), ostra::kInstallFailure);
        const auto messages = log.Messages();
        EXPECT_TRUE(Contains(messages, "Execution finished with 5"));
        EXPECT_TRUE(Contains(messages, "Driver has not been copied."));
    }
    EXPECT_EQ(TraceText(), "install\r\npost-install\r\n");

    vxaux.SkipAdditionalCheck = L"TRUE";
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, true, vxaux, L"", false), 0u);  // nothing to start: waits for a restart
    EXPECT_TRUE(Contains(log.Messages(), "Driver installation result check skipped."));
}

TEST_F(InstallActions, CommandLineThatCannotStartIsLogged) {
    DriverDescription vxaux = Exec(L"vxaux");
    vxaux.InstallExec = dir_.File(L"missing.exe");
    vxaux.SkipAdditionalCheck = L"true";
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, true, vxaux, L"", false), 0u);
    EXPECT_TRUE(HasMessageStartingWith(log.Messages(), "Failed to execute: "));
    EXPECT_EQ(TraceText(), "post-install\r\n");
}

// The uninstall leaves the service marked for removal at the next start and
// takes the file server's allow-list entry of the file-system filters away.
TEST_F(InstallActions, UninstallSetsTheDeleteFlagAndRemovesTheAllowListValue) {
    const std::wstring allowList = L"System\\CurrentControlSet\\Services\\LanmanServer\\Parameters\\FsctlAllowList";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, allowList.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExW(key, L"vxfsdLoopbackFsctl", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
    RegisterDriverService(L"vxfsd", dir_.File(L"vxfsd.sys"));

    const DriverDescription vxfsd = Exec(L"vxfsd");
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, false, vxfsd, L"", false), 0u);
    auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Delete flag of service 'vxfsd' has been set"));
    EXPECT_TRUE(Contains(messages, "Registry value vxfsdLoopbackFsctl has been removed"));
    EXPECT_EQ(ReadDword(ServiceKey(L"vxfsd"), L"DeleteFlag"), 1u);
    EXPECT_FALSE(ReadDword(allowList, L"vxfsdLoopbackFsctl").has_value());
    EXPECT_EQ(TraceText(), "uninstall\r\npost-uninstall\r\n");

    ScratchLog again;
    EXPECT_EQ(engine::InstallActions(again, false, vxfsd, L"", false), 0u);
    messages = again.Messages();
    EXPECT_TRUE(Contains(messages, "Delete flag of service 'vxfsd' is in place"));
    EXPECT_TRUE(Contains(messages, "Failed to delete registry value vxfsdLoopbackFsctl: 0x00000002"));

    RegDeleteKeyW(HKEY_LOCAL_MACHINE, allowList.c_str());
    ScratchLog missing;
    engine::RemoveLoopbackFsctlValue(missing, L"vxvault");
    EXPECT_TRUE(HasMessageStartingWith(missing.Messages(), "Failed to open FsctlAllowList registry key: 0x"));
}

TEST_F(InstallActions, FailedDeleteFlagIsTheResult) {
    RegisterDriverService(L"vxfsd", dir_.File(L"vxfsd.sys"));
    utils::ScopedOverride failing(utils::api::RegOpenKeyExW, [](HKEY root, LPCWSTR path, DWORD options, REGSAM access,
                                                                PHKEY key) -> LSTATUS {
        if (std::wstring(path).find(L"Services\\vxfsd") != std::wstring::npos && (access & KEY_SET_VALUE)) {
            return ERROR_ACCESS_DENIED;
        }
        return RegOpenKeyExW(root, path, options, access, key);
    });
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, false, Exec(L"vxfsd"), L"", false), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Contains(log.Messages(), "Failed to set service 'vxfsd' delete flag: 0x00000005"));
}

TEST_F(InstallActions, HookingDriverInstallsItsLibraryAndRemovesIt) {
    testsupport::CopyFileOrThrow(std::wstring(HOOK_FIXTURES_DIR) + L"\\v3.14.0.27\\vxtraplib.dll",
                                 dir_.File(L"vxtraplib.dll"));
    TempDir libraryDir;
    const DriverDescription vxtrap = Automatic(L"vxtrap");
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, true, vxtrap, libraryDir.Path(), false), ostra::kDriverRunning);
    const std::wstring installed = libraryDir.File(L"vxtraplib.{3.14.0.27}.dll");
    EXPECT_TRUE(FileExists(installed));
    EXPECT_EQ(ReadString(ServiceKey(L"vxtrap") + L"\\Parameters", L"VxtraplibPath"), installed);

    ScratchLog removal;
    EXPECT_EQ(engine::InstallActions(removal, false, vxtrap, libraryDir.Path(), false), 0u);
    // The sample driver stops, so its service and parameters are gone before
    // the library is removed: the path read beforehand still finds it.
    EXPECT_FALSE(FileExists(installed));
    const auto queued = pending_.Strings();
    ASSERT_EQ(queued.size(), 2u);  // the moved library, deleted at the next start
    EXPECT_NE(queued[0].find(L"vxtraplib.{3.14.0.27}.dll"), std::wstring::npos);
    EXPECT_EQ(queued[1], L"");
}

TEST_F(InstallActions, HookLibraryThatCannotBeInstalledFailsTheDriver) {
    DeleteFileW(dir_.File(L"vxtraplib.dll").c_str());  // no library beside the INF
    const DriverDescription vxtrap = Automatic(L"vxtrap");
    TempDir libraryDir;
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, true, vxtrap, libraryDir.Path(), false), ostra::kInstallFailure);
    EXPECT_TRUE(Contains(log.Messages(), "Driver vxtrap installation result: 0x00000643"));
}

// The image swap: a copy under a unique name becomes the service's image.
TEST_F(InstallActions, ReplaceDriverImagePointsTheServiceAtAUniqueCopy) {
    RegisterDriverService(L"vxmon", L"system32\\drivers\\vxmon.sys");
    ScratchLog log;
    std::wstring saved;
    EXPECT_EQ(engine::ReplaceDriverImage(log, L"vxmon", L"vxmon.sys", dir_.Path(), saved), 0u);
    EXPECT_EQ(saved, L"system32\\drivers\\vxmon.sys");
    const std::wstring swapped = ReadString(ServiceKey(L"vxmon"), L"ImagePath");
    ASSERT_EQ(swapped.rfind(L"system32\\drivers\\vxmon.", 0), 0u) << testing::PrintToString(swapped);
    EXPECT_NE(swapped, saved);
    const std::wstring copy = DriversFolder() + swapped.substr(std::wstring(L"system32\\drivers\\").size());
    EXPECT_EQ(ReadFileText(copy), ReadFileText(dir_.File(L"vxmon.sys")));
    // The copy goes at the next start: queued with an empty target.
    const auto queued = pending_.Strings();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(testsupport::Lower(queued[0]), testsupport::Lower(L"\\??\\" + copy));
    EXPECT_EQ(queued[1], L"");
    DeleteFileW(copy.c_str());
}

TEST_F(InstallActions, ReplaceDriverImageNeedsASystem32Path) {
    RegisterDriverService(L"vxmon", dir_.File(L"vxmon.sys"));
    ScratchLog log;
    std::wstring saved;
    try {
        engine::ReplaceDriverImage(log, L"vxmon", L"vxmon.sys", dir_.Path(), saved);
        ADD_FAILURE() << "no exception";
    } catch (const PlatformError& error) {
        EXPECT_EQ(PlatformErrorCode(error), 11u);
        EXPECT_EQ(std::string(error.what()).rfind("ImagePath does not contain system32 folder", 0), 0u);
    }
    EXPECT_TRUE(saved.empty());
    EXPECT_EQ(ReadString(ServiceKey(L"vxmon"), L"ImagePath"), dir_.File(L"vxmon.sys"));
}

}  // namespace

namespace {

// Under Wine a loaded driver's image can be moved aside, so an INF install
// never leaves its image in a pending rename; the state of one is made here:
// an older image in place, the shipped one queued to replace it at the next
// start, and an Exec driver whose command lines copy nothing.
TEST_F(InstallActions, ImageWaitingInAPendingRename) {
    for (const bool noReboot : {false, true}) {
        SCOPED_TRACE(noReboot ? "with no reboot" : "without no reboot");
        const std::wstring installed = DriversFolder() + L"vxmon.sys";
        std::string older = ReadFileText(dir_.File(L"vxmon.sys"));
        older.append(512, '\0');
        testsupport::WriteFileText(installed, older);
        TempDir staged;
        testsupport::CopyFileOrThrow(dir_.File(L"vxmon.sys"), staged.File(L"vxmon.sys"));
        pending_.WriteStrings({L"\\??\\" + staged.File(L"vxmon.sys"), L"!\\??\\" + installed});
        // Wine cannot start a driver from the relative form "system32\drivers\...",
        // which Windows resolves against the system root: the test uses the
        // "\SystemRoot\" form, whose prefix the swap keeps as well.
        RegisterDriverService(L"vxmon", L"\\SystemRoot\\system32\\drivers\\vxmon.sys");

        DriverDescription vxmon = Exec(L"vxmon");
        ScratchLog log;
        const std::uint32_t result = engine::InstallActions(log, true, vxmon, L"", noReboot);
        const std::wstring imagePath = ReadString(ServiceKey(L"vxmon"), L"ImagePath");
        EXPECT_EQ(imagePath, L"\\SystemRoot\\system32\\drivers\\vxmon.sys");  // the standard path again
        if (!noReboot) {
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_STOPPED));
        } else {
            EXPECT_EQ(result, ostra::kDriverRunning);
            EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
            // The driver runs from a unique copy, queued for deletion at the next start.
            const auto queued = pending_.Strings();
            ASSERT_EQ(queued.size(), 4u);
            EXPECT_NE(testsupport::Lower(queued[2]).find(L"\\drivers\\vxmon."), std::wstring::npos);
            EXPECT_EQ(queued[3], L"");
            DeleteFileW(queued[2].substr(4).c_str());
        }
        RemoveService(L"vxmon");
    }
}

TEST_F(InstallActions, EarlyLaunchDriverGetsItsSettingsAndIsNeverStarted) {
    const DriverDescription vxearly = Automatic(L"vxearly");
    {
        // Without the early-launch hive its settings cannot be written.
        ScratchLog log;
        EXPECT_EQ(engine::InstallActions(log, true, vxearly, L"", false), static_cast<std::uint32_t>(ERROR_GEN_FAILURE));
        EXPECT_TRUE(Contains(log.Messages(), "SetVxearlyParameters for VXEARLY failed."));
    }
    MakeElamHive();
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, true, vxearly, L"", false), ostra::kDriverRunning);
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Action ended : SetVxearlyParameters. Return value 1."));
    EXPECT_TRUE(Contains(messages, "Driver start not required"));
    EXPECT_FALSE(HasMessageStartingWith(messages, "Trying to start"));
    EXPECT_NE(ServiceState(L"vxearly"), static_cast<DWORD>(SERVICE_RUNNING));
    RemoveService(L"vxearly");
}

}  // namespace
