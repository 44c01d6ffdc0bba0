// Network components on Wine with the sample product's vxnet package: the
// INF copied by Wine's Setup API, its OEM name remembered in the registry,
// the catalog registered by Wine's wintrust, and the session with Wine's
// network configuration object. Wine answers Apply, FindComponent and
// QueryNetCfgClass with E_NOTIMPL, so those three are faked
// (support/fake_netcfg.h); the test WineLacksThreeNetCfgMethods fails once
// Wine implements them.
#include "network/net_component.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "network/catalogs.h"
#include "network/netcfg_session.h"
#include "services/service_control.h"
#include "support/driver_services.h"
#include "support/fake_netcfg.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"

namespace {

using testsupport::FakeNetCfg;
using testsupport::FileExists;
using testsupport::ScratchLog;
using testsupport::TempDir;

constexpr HRESULT kNoWriteLock = static_cast<HRESULT>(0x8004A024);
constexpr HRESULT kRebootNeeded = static_cast<HRESULT>(0x0004A020);  // NETCFG_S_REBOOT
constexpr char kServiceClass[] = "4d36e974-e325-11ce-bfc1-08002be10318";
constexpr wchar_t kMemoKey[] = L"SOFTWARE\\Classes\\vxnet";
constexpr wchar_t kTestService[] = L"tarnelnettest";

std::wstring InfFolder() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf\\";
}

// The OEM INF name remembered for vxnet; empty when there is none.
std::wstring Memo() {
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kMemoKey, L"vxnet", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return {};
    }
    return value;
}

bool MemoKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMemoKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetMemo(const std::wstring& oemName) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMemoKey, L"vxnet", REG_SZ, oemName.c_str(),
                    static_cast<DWORD>((oemName.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::string> SessionAround(std::vector<std::string> inner) {
    std::vector<std::string> calls = {"CoInitializeEx 6",
                                      "AcquireWriteLock 15000 Sample Netcfg Application (netcfg.exe)", "Initialize"};
    calls.insert(calls.end(), inner.begin(), inner.end());
    calls.insert(calls.end(), {"Uninitialize", "ReleaseWriteLock", "CoUninitialize"});
    return calls;
}

bool HasRegCatLine(const std::vector<std::string>& messages) {
    for (const auto& message : messages) {
        if (message.rfind("reg_cat.", 0) == 0) return true;
    }
    return false;
}

class NetComponent : public testing::Test {
protected:
    NetComponent() { testsupport::CopyTreeOrThrow(std::wstring(TARNEL_DIST_DIR) + L"\\drivers\\x64", dir_.Path()); }
    ~NetComponent() override {
        const std::wstring oem = Memo();
        if (!oem.empty()) {
            DeleteFileW((InfFolder() + oem).c_str());
            DeleteFileW((InfFolder() + oem.substr(0, oem.find(L'.')) + L".pnf").c_str());
        }
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMemoKey);
        ScratchLog log;
        network::reg_cat(log, L"", L"vxnet.cat", false);
        testsupport::RemoveService(kTestService);
    }

    HRESULT Install(SdkEventLog& log, int classIndex, const std::wstring& inf = L"vxnet.inf",
                    const std::wstring& component = L"orv_vxnet") {
        return network::HrInstallNetComponent(log, component, classIndex, inf.empty() ? L"" : dir_.File(inf),
                                              dir_.File(L"vxnet.cat"), L"vxnet.cat", L"vxnet");
    }
    HRESULT Uninstall(SdkEventLog& log) {
        return network::UninstallNetComponent(log, L"orv_vxnet", dir_.File(L"vxnet.cat"), L"vxnet.cat", L"vxnet",
                                              kTestService, &services::DeleteServiceByName);
    }

    TempDir dir_;
};

TEST_F(NetComponent, InstallCopiesTheInfRemembersItsNameAndInstallsTheComponent) {
    FakeNetCfg netCfg;
    ScratchLog log;
    EXPECT_EQ(Install(log, network::kNetService), S_OK);

    // Windows gives the copy a name of the form oemNN.inf; Wine keeps the
    // INF's own name. Either way the name the Setup API gave is remembered.
    const std::wstring oem = Memo();
    EXPECT_EQ(oem, L"vxnet.inf") << "Wine now names copied INFs like Windows: expect oemNN.inf here";
    EXPECT_EQ(testsupport::ReadFileText(InfFolder() + oem), testsupport::ReadFileText(dir_.File(L"vxnet.inf")));
    EXPECT_FALSE(HasRegCatLine(log.Messages())) << testing::PrintToString(log.Messages());
    EXPECT_EQ(netCfg.Script().calls,
              SessionAround({std::string("QueryNetCfgClass ") + kServiceClass + " INetCfgClassSetup",
                             "Install orv_vxnet token 1 flags 2 build 0 no answers", "Apply"}));
    EXPECT_EQ(netCfg.Script().componentsReleased, 1);
    EXPECT_TRUE(netCfg.AllReleased());
}

TEST_F(NetComponent, ClassIndexChoosesTheClassOrNoComponent) {
    struct Row {
        int classIndex;
        const wchar_t* component;
        const char* classGuid;  // null: no component installed, no session
    };
    const Row rows[] = {
        {0, L"orv_vxnet", nullptr},
        {1, L"orv_vxnet", "4d36e975-e325-11ce-bfc1-08002be10318"},
        {2, L"orv_vxnet", kServiceClass},
        {3, L"orv_vxnet", "4d36e973-e325-11ce-bfc1-08002be10318"},
        {4, L"orv_vxnet", nullptr},
        {-1, L"orv_vxnet", nullptr},
        {2, L"", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "class " << row.classIndex << " component '"
                                        << testsupport::Narrow(row.component) << "'");
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMemoKey);
        FakeNetCfg netCfg;
        ScratchLog log;
        EXPECT_EQ(Install(log, row.classIndex, L"vxnet.inf", row.component), S_OK);
        EXPECT_FALSE(Memo().empty()) << "the INF is copied in every case";
        EXPECT_FALSE(HasRegCatLine(log.Messages()));
        if (row.classGuid) {
            EXPECT_EQ(netCfg.Script().calls.at(3), std::string("QueryNetCfgClass ") + row.classGuid + " INetCfgClassSetup");
        } else {
            EXPECT_EQ(netCfg.Script().calls, std::vector<std::string>{});
        }
        EXPECT_TRUE(netCfg.AllReleased());
    }
}

// A failed copy is the result when no component follows; a component
// installation that follows replaces it.
TEST_F(NetComponent, FailedInfCopy) {
    FakeNetCfg netCfg;
    ScratchLog log;
    EXPECT_EQ(Install(log, network::kNoNetClass, L"missing.inf"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MemoKeyExists());
    EXPECT_EQ(Install(log, network::kNetService, L"missing.inf"), S_OK);
    EXPECT_FALSE(MemoKeyExists());
    EXPECT_EQ(netCfg.Script().calls.at(4), "Install orv_vxnet token 1 flags 2 build 0 no answers");
}

// Registry failures of the memo change nothing in the result, and leave no
// memo key without its name.
TEST_F(NetComponent, MemoThatCannotBeWritten) {
    utils::ScopedOverride failing(utils::api::RegSetValueExW,
                                  [](HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) -> LSTATUS {
                                      return ERROR_ACCESS_DENIED;
                                  });
    FakeNetCfg netCfg;
    ScratchLog log;
    EXPECT_EQ(Install(log, network::kNetService), S_OK);
    EXPECT_FALSE(MemoKeyExists());
    EXPECT_TRUE(FileExists(InfFolder() + L"vxnet.inf"));
    DeleteFileW((InfFolder() + L"vxnet.inf").c_str());
}

TEST_F(NetComponent, ComponentInstallFailuresAndSuccessCodes) {
    struct Row {
        const char* name;
        HRESULT queryClass, install, apply;
        HRESULT result;
        std::vector<std::string> inner;
    };
    const std::string query = std::string("QueryNetCfgClass ") + kServiceClass + " INetCfgClassSetup";
    const std::string install = "Install orv_vxnet token 1 flags 2 build 0 no answers";
    const Row rows[] = {
        {"class not to be had", E_NOINTERFACE, S_OK, S_OK, E_NOINTERFACE, {query}},
        {"install fails", S_OK, E_ACCESSDENIED, S_OK, E_ACCESSDENIED, {query, install}},
        {"install needs a restart", S_OK, kRebootNeeded, S_OK, S_OK, {query, install, "Apply"}},
        {"apply needs a restart", S_OK, S_OK, kRebootNeeded, kRebootNeeded, {query, install, "Apply"}},
        {"apply fails", S_OK, S_OK, E_FAIL, E_FAIL, {query, install, "Apply"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeNetCfg netCfg;
        netCfg.Script().queryClass = row.queryClass;
        netCfg.Script().install = row.install;
        netCfg.Script().apply = row.apply;
        ScratchLog log;
        EXPECT_EQ(Install(log, network::kNetService), row.result);
        EXPECT_EQ(netCfg.Script().calls, SessionAround(row.inner));
        EXPECT_TRUE(netCfg.AllReleased()) << "a component handed out with a success code is released too";
    }
}

TEST_F(NetComponent, WriteLockHeldByAnotherProgram) {
    testsupport::RegisterDriverService(kTestService, L"System32\\drivers\\tarnelnettest.sys");
    const std::vector<std::string> refused = {"CoInitializeEx 6",
                                              "AcquireWriteLock 15000 Sample Netcfg Application (netcfg.exe)",
                                              "CoUninitialize"};
    {
        FakeNetCfg netCfg;
        netCfg.Script().acquireLock = S_FALSE;
        ScratchLog log;
        EXPECT_EQ(Install(log, network::kNetService), kNoWriteLock);
        EXPECT_EQ(netCfg.Script().calls, refused);
        EXPECT_TRUE(netCfg.AllReleased());
        EXPECT_FALSE(Memo().empty());
    }
    FakeNetCfg netCfg;
    netCfg.Script().acquireLock = S_FALSE;
    ScratchLog log;
    // The component stays in place, so the removal failed; the rest is removed all the same.
    EXPECT_EQ(Uninstall(log), kNoWriteLock);
    EXPECT_EQ(netCfg.Script().calls, refused);
    EXPECT_TRUE(netCfg.AllReleased());
    EXPECT_FALSE(MemoKeyExists());
    EXPECT_FALSE(testsupport::ServiceExists(kTestService));
}

TEST_F(NetComponent, UninstallOfAComponentThatIsNotInstalledStillRemovesTheRest) {
    {
        FakeNetCfg netCfg;
        ScratchLog log;
        ASSERT_EQ(Install(log, network::kNetService), S_OK);
    }
    const std::wstring oem = Memo();
    ASSERT_FALSE(oem.empty());
    const std::wstring pnf = InfFolder() + oem.substr(0, oem.find(L'.')) + L".pnf";
    testsupport::WriteFileText(pnf, "precompiled");
    testsupport::RegisterDriverService(kTestService, L"System32\\drivers\\tarnelnettest.sys");

    FakeNetCfg netCfg;
    netCfg.Script().findComponent = S_FALSE;
    ScratchLog log;
    EXPECT_EQ(Uninstall(log), S_FALSE);
    EXPECT_EQ(netCfg.Script().calls, SessionAround({"FindComponent orv_vxnet"}));
    EXPECT_TRUE(netCfg.AllReleased());
    EXPECT_FALSE(FileExists(InfFolder() + oem));
    // Windows' SetupUninstallOEMInfW removes the precompiled .pnf with the
    // INF; Wine's leaves it (the removal by hand, below, takes both).
    EXPECT_TRUE(FileExists(pnf)) << "Wine now removes the .pnf too: expect it gone here";
    DeleteFileW(pnf.c_str());
    EXPECT_FALSE(MemoKeyExists());
    EXPECT_FALSE(testsupport::ServiceExists(kTestService));
    // The catalog was registered, so its removal logs nothing.
    EXPECT_FALSE(HasRegCatLine(log.Messages())) << testing::PrintToString(log.Messages());
}

TEST_F(NetComponent, UninstallOfAnInstalledComponent) {
    struct Row {
        const char* name;
        HRESULT classGuid, deinstall, apply;
        HRESULT result;
        std::vector<std::string> inner;
    };
    const std::string find = "FindComponent orv_vxnet";
    const std::string query = std::string("QueryNetCfgClass ") + kServiceClass + " INetCfgClass";
    const std::string deinstall = "DeInstall component token 1 no refs";
    const Row rows[] = {
        {"removed", S_OK, S_OK, S_OK, S_OK, {find, "GetClassGuid", query, deinstall, "Apply"}},
        {"class unknown", E_FAIL, S_OK, S_OK, E_FAIL, {find, "GetClassGuid"}},
        {"removal fails", S_OK, E_ACCESSDENIED, S_OK, E_ACCESSDENIED, {find, "GetClassGuid", query, deinstall}},
        // Only a plain success is applied.
        {"removal needs a restart", S_OK, kRebootNeeded, S_OK, kRebootNeeded, {find, "GetClassGuid", query, deinstall}},
        {"apply fails", S_OK, S_OK, E_FAIL, E_FAIL, {find, "GetClassGuid", query, deinstall, "Apply"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeNetCfg netCfg;
        netCfg.Script().classGuid = row.classGuid;
        netCfg.Script().deinstall = row.deinstall;
        netCfg.Script().apply = row.apply;
        ScratchLog log;
        EXPECT_EQ(Uninstall(log), row.result);
        EXPECT_EQ(netCfg.Script().calls, SessionAround(row.inner));
        EXPECT_TRUE(netCfg.AllReleased());
    }
}

// Without SetupUninstallOEMInfW the OEM INF's .inf and .pnf files are
// deleted by hand; a remembered name that is not a plain file name in the
// INF folder is not acted on.
TEST_F(NetComponent, OemInfRemovedByHandWithoutTheSetupApiCall) {
    utils::ScopedOverride noUninstall(utils::api::GetProcAddress, [](HMODULE module, LPCSTR name) -> FARPROC {
        if (reinterpret_cast<ULONG_PTR>(name) >> 16 != 0 && std::string(name) == "SetupUninstallOEMInfW") {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        return GetProcAddress(module, name);
    });
    TempDir outside;
    struct Row {
        std::wstring memo;
        bool removed;
    };
    const Row rows[] = {
        {L"oem977.inf", true},
        {L"OEM977.INF", true},
        {L"..\\oem977.inf", false},
        {L"C:oem977.inf", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testsupport::Narrow(row.memo));
        const std::wstring inf = InfFolder() + L"oem977.inf";
        const std::wstring pnf = InfFolder() + L"oem977.pnf";
        const std::wstring other = InfFolder() + L"oem977.txt";
        for (const std::wstring& file : {inf, pnf, other}) testsupport::WriteFileText(file, "x");
        SetMemo(row.memo);
        ScratchLog log;
        EXPECT_EQ(network::UninstallNetComponent(log, L"", L"", L"", L"vxnet", L"", nullptr), S_OK);
        EXPECT_EQ(FileExists(inf), !row.removed);
        EXPECT_EQ(FileExists(pnf), !row.removed);
        EXPECT_TRUE(FileExists(other));
        EXPECT_FALSE(MemoKeyExists());
        for (const std::wstring& file : {inf, pnf, other}) DeleteFileW(file.c_str());
    }
}

TEST_F(NetComponent, WithoutTheSetupApiCopyNothingIsDone) {
    for (const bool libraryMissing : {true, false}) {
        SCOPED_TRACE(libraryMissing ? "setupapi.dll missing" : "SetupCopyOEMInfW missing");
        std::optional<utils::ScopedOverride<decltype(utils::api::LoadLibraryW)>> load;
        if (libraryMissing) {
            load.emplace(utils::api::LoadLibraryW, [](LPCWSTR name) -> HMODULE {
                if (lstrcmpiW(name, L"setupapi.dll") == 0) {
                    SetLastError(ERROR_MOD_NOT_FOUND);
                    return nullptr;
                }
                return LoadLibraryW(name);
            });
        }
        utils::ScopedOverride procedure(utils::api::GetProcAddress, [](HMODULE module, LPCSTR name) -> FARPROC {
            if (reinterpret_cast<ULONG_PTR>(name) >> 16 != 0 && std::string(name) == "SetupCopyOEMInfW") {
                SetLastError(ERROR_PROC_NOT_FOUND);
                return nullptr;
            }
            return GetProcAddress(module, name);
        });
        FakeNetCfg netCfg;
        ScratchLog log;
        EXPECT_EQ(Install(log, network::kNetService), E_FAIL);
        EXPECT_FALSE(MemoKeyExists());
        EXPECT_EQ(netCfg.Script().calls, std::vector<std::string>{});
        EXPECT_EQ(log.Messages(), std::vector<std::string>{});
    }
}

// Wine's configuration object: Apply, FindComponent and QueryNetCfgClass
// answer E_NOTIMPL, where Windows carries them out. Once Wine implements
// one, its fake in support/fake_netcfg.h can go.
TEST(NetCfgOnWine, WineLacksThreeNetCfgMethods) {
    utils::ComRef<INetCfg> netCfg;
    ASSERT_EQ(network::OpenNetCfg(netCfg), S_OK) << "Wine's session itself works";
    EXPECT_EQ(utils::api::NetCfgApply(netCfg.Get()), E_NOTIMPL) << "Wine now applies a configuration";
    utils::ComRef<INetCfgComponent> component;
    EXPECT_EQ(utils::api::NetCfgFindComponent(netCfg.Get(), L"ms_tcpip", component.Put()), E_NOTIMPL)
        << "Wine now finds components";
    const GUID serviceClass = {0x4d36e974, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    utils::ComRef<INetCfgClassSetup> setup;
    EXPECT_EQ(utils::api::NetCfgQueryNetCfgClass(netCfg.Get(), &serviceClass, __uuidof(INetCfgClassSetup),
                                                 setup.PutVoid()),
              E_NOTIMPL)
        << "Wine now hands out network classes";
    EXPECT_EQ(network::CloseNetCfg(std::move(netCfg)), S_OK);

    // Without the fakes an installation ends at the class query.
    TempDir dir;
    ScratchLog log;
    EXPECT_EQ(network::HrInstallNetComponent(log, L"orv_vxnet", network::kNetService, L"", L"", L"", L""), E_NOTIMPL);
}

}  // namespace
