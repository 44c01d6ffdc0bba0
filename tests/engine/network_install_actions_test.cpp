// The install actions of the network drivers with the sample product's
// packages: vxnet installed as a network component (Wine's network
// configuration lacks the component calls, so support/fake_netcfg.h stands in
// for them and for the system's part of a component install), and vxpkt with
// the network filter library on 32-bit processors (a recording stand-in
// NFWCUM.dll; the processor reported through the seam).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/install_actions.h"
#include "network/catalogs.h"
#include "support/driver_services.h"
#include "support/fake_executable.h"
#include "support/fake_netcfg.h"
#include "support/fake_windows.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/system_dll_wrapper.h"

namespace {

using describe::DriverDescription;
using testsupport::Contains;
using testsupport::DriversFolder;
using testsupport::FakeNetCfg;
using testsupport::HasMessageStartingWith;
using testsupport::Narrow;
using testsupport::ReadLines;
using testsupport::RemoveService;
using testsupport::ScratchLog;
using testsupport::ServiceState;
using testsupport::TempDir;

constexpr wchar_t kMemoKey[] = L"SOFTWARE\\Classes\\vxnet";

bool MemoKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMemoKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The messages from "Network installation data:" on, seven of them.
std::vector<std::string> NetworkData(const std::vector<std::string>& messages) {
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (messages[i] == "Network installation data:" && i + 7 <= messages.size()) {
            return {messages.begin() + i + 1, messages.begin() + i + 7};
        }
    }
    return {};
}

std::size_t IndexOf(const std::vector<std::string>& messages, const std::string& message) {
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (messages[i] == message) return i;
    }
    return messages.size();
}

class NetworkInstallActions : public testing::Test {
protected:
    NetworkInstallActions() : executable_(installer_.File(L"tarnel.exe")) {
        testsupport::CopyTreeOrThrow(std::wstring(TARNEL_DIST_DIR) + L"\\drivers\\x64", dir_.Path());
        if (!utils::versionDll) utils::versionDll = std::make_unique<utils::VersionDllWrapper>();
    }
    ~NetworkInstallActions() override {
        for (const wchar_t* name : {L"vxnet", L"vxpkt"}) {
            RemoveService(name);
            DeleteFileW((DriversFolder() + name + L".sys").c_str());
        }
        wchar_t windows[MAX_PATH] = {};
        GetWindowsDirectoryW(windows, MAX_PATH);
        DeleteFileW((std::wstring(windows) + L"\\inf\\vxnet.inf").c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMemoKey);
        ScratchLog log;
        network::reg_cat(log, L"", L"vxnet.cat", false);
    }

    DriverDescription Vxnet() const {
        DriverDescription d;
        d.Name = L"vxnet";
        d.ServiceName = L"vxnet";
        d.Folder = dir_.Path();
        d.ImageFile = L"vxnet.sys";
        d.InfFile = L"vxnet.inf";
        d.CatFile = L"vxnet.cat";
        d.InstallType = L"asnetcomponent";  // letter case does not count
        d.NetClass = L"NetService";
        d.NetComponent = L"orv_vxnet";
        d.NetService = L"vxnet";
        d.NetInstallData = L"InfFile;CatFile;NetClass;NetComponent";
        d.NetUninstallData = L"NetComponent;CatFile;NetService";
        return d;
    }

    DriverDescription Vxpkt() const {
        DriverDescription d;
        d.Name = L"vxpkt";
        d.ServiceName = L"vxpkt";
        d.Folder = dir_.Path();
        d.ImageFile = L"vxpkt.sys";
        d.InfFile = L"vxpkt.inf";
        d.CatFile = L"vxpkt.cat";
        d.InstallType = L"Automatic";
        return d;
    }

    // The stand-in library and a tarnel.ini whose General section holds `general`.
    void PlaceLibrary(const std::string& general) {
        testsupport::CopyFileOrThrow(std::wstring(NFWCUM_FIXTURES_DIR) + L"\\complete\\NFWCUM.dll",
                                     libraryDir_.File(L"NFWCUM.dll"));
        testsupport::WriteFileText(installer_.File(L"tarnel.ini"), "[General]\r\n" + general);
    }
    std::string LibraryLine() const { return "NfwcumDll=" + Narrow(libraryDir_.File(L"NFWCUM.dll")) + "\r\n"; }
    std::vector<std::string> LibraryCalls() const { return ReadLines(libraryDir_.File(L"NFWCUM.calls")); }

    TempDir dir_;
    TempDir installer_;
    TempDir libraryDir_;
    testsupport::FakeExecutablePath executable_;
};

TEST_F(NetworkInstallActions, NetComponentIsInstalledStartedAndRemoved) {
    const DriverDescription vxnet = Vxnet();
    {
        FakeNetCfg netCfg;
        // What Windows' component install does for vxnet: its image and service.
        const std::wstring image = dir_.File(L"vxnet.sys");
        netCfg.Script().onInstall = [image] {
            CopyFileW(image.c_str(), (DriversFolder() + L"vxnet.sys").c_str(), FALSE);
            // The "\SystemRoot\" form: Wine cannot start a driver from the relative one.
            testsupport::RegisterDriverService(L"vxnet", L"\\SystemRoot\\System32\\drivers\\vxnet.sys");
        };
        ScratchLog log;
        EXPECT_EQ(engine::InstallActions(log, true, vxnet, L"", false), ostra::kDriverRunning);
        const auto messages = log.Messages();
        EXPECT_EQ(NetworkData(messages),
                  (std::vector<std::string>{"Inf file: '" + Narrow(dir_.File(L"vxnet.inf")) + "'",
                                            "Cat path: '" + Narrow(dir_.File(L"vxnet.cat")) + "'",
                                            "Cat name: 'vxnet.cat'", "Net class: '2'", "Net component: 'orv_vxnet'",
                                            "Service name: ''"}));
        EXPECT_LT(IndexOf(messages, "Network installation data:"), IndexOf(messages, "Checking driver installation result..."));
        EXPECT_TRUE(Contains(messages, "Driver vxnet installation result: 0xffffffff"))
            << testing::PrintToString(messages);
        EXPECT_EQ(ServiceState(L"vxnet"), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_TRUE(Contains(netCfg.Script().calls, "Install orv_vxnet token 1 flags 2 build 0 no answers"));
        EXPECT_TRUE(MemoKeyExists());
        EXPECT_TRUE(netCfg.AllReleased());
    }
    FakeNetCfg netCfg;
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, false, vxnet, L"", false), 0u);
    EXPECT_EQ(NetworkData(log.Messages()),
              (std::vector<std::string>{"Inf file: ''", "Cat path: '" + Narrow(dir_.File(L"vxnet.cat")) + "'",
                                        "Cat name: 'vxnet.cat'", "Net class: '4'", "Net component: 'orv_vxnet'",
                                        "Service name: 'vxnet'"}));
    EXPECT_TRUE(Contains(netCfg.Script().calls, "DeInstall component token 1 no refs"));
    EXPECT_TRUE(Contains(netCfg.Script().calls, "Apply"));
    EXPECT_FALSE(MemoKeyExists());
    EXPECT_TRUE(netCfg.AllReleased());
}

// The key words are found anywhere in the data, in any order and with any
// separators, letter case counting. The Setup API's INF copy is made
// unavailable, so each row ends after the data is logged.
TEST_F(NetworkInstallActions, KeyWordsOfTheNetworkData) {
    utils::ScopedOverride noSetupApi(utils::api::LoadLibraryW, [](LPCWSTR name) -> HMODULE {
        if (lstrcmpiW(name, L"setupapi.dll") == 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return LoadLibraryW(name);
    });
    const std::string inf = "Inf file: '" + Narrow(dir_.File(L"vxnet.inf")) + "'";
    const std::string catPath = "Cat path: '" + Narrow(dir_.File(L"vxnet.cat")) + "'";
    struct Row {
        const wchar_t* data;
        const wchar_t* netClass;
        std::vector<std::string> logged;
    };
    const Row rows[] = {
        {L"InfFile;CatFile;NetClass;NetComponent", L"NetService",
         {inf, catPath, "Cat name: 'vxnet.cat'", "Net class: '2'", "Net component: 'orv_vxnet'", "Service name: ''"}},
        {L"NetService NetComponent", L"NetService",
         {"Inf file: ''", "Cat path: ''", "Cat name: ''", "Net class: '4'", "Net component: 'orv_vxnet'",
          "Service name: 'vxnet'"}},
        {L"xxNetClassxxCatFilexxNetClass", L"NetService",
         {"Inf file: ''", catPath, "Cat name: 'vxnet.cat'", "Net class: '2'", "Net component: ''", "Service name: ''"}},
        {L"NetClass", L"NetTrans",
         {"Inf file: ''", "Cat path: ''", "Cat name: ''", "Net class: '4'", "Net component: ''", "Service name: ''"}},
        {L"NetClass", L"netservice",
         {"Inf file: ''", "Cat path: ''", "Cat name: ''", "Net class: '4'", "Net component: ''", "Service name: ''"}},
        {L"inffile;catfile;netcomponent", L"NetService",
         {"Inf file: ''", "Cat path: ''", "Cat name: ''", "Net class: '4'", "Net component: ''", "Service name: ''"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.data));
        DriverDescription vxnet = Vxnet();
        vxnet.NetInstallData = row.data;
        vxnet.NetClass = row.netClass;
        FakeNetCfg netCfg;
        ScratchLog log;
        EXPECT_EQ(engine::InstallActions(log, true, vxnet, L"", false), 0x80004005u);
        EXPECT_EQ(NetworkData(log.Messages()), row.logged);
        EXPECT_TRUE(Contains(log.Messages(), "Driver vxnet installation result: 0x80004005"));
        for (const auto& call : netCfg.Script().calls) EXPECT_NE(call.rfind("Install ", 0), 0u) << call;
    }
}

// A component that cannot be installed takes its INF copy, memo and catalog
// with it: the run does not take back the failing driver, and a later
// uninstall finds no service to start from.
TEST_F(NetworkInstallActions, FailedComponentInstallTakesItsStepBack) {
    FakeNetCfg netCfg;
    netCfg.Script().install = E_ACCESSDENIED;
    netCfg.Script().findComponent = S_FALSE;
    ScratchLog log;
    EXPECT_EQ(engine::InstallActions(log, true, Vxnet(), L"", false), static_cast<std::uint32_t>(E_ACCESSDENIED));
    EXPECT_TRUE(Contains(netCfg.Script().calls, "FindComponent orv_vxnet"));
    EXPECT_FALSE(MemoKeyExists());
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_FALSE(testsupport::FileExists(std::wstring(windows) + L"\\inf\\vxnet.inf"));
    EXPECT_FALSE(HasMessageStartingWith(log.Messages(), "reg_cat."));  // the catalog was there to remove
    EXPECT_TRUE(netCfg.AllReleased());
}

TEST_F(NetworkInstallActions, NetworkFilterLibraryOnX86Only) {
    PlaceLibrary(LibraryLine() + "NfwcSet=C:\\Product\\nfwc.set\r\n");
    {
        testsupport::FakeProcessor x86(PROCESSOR_ARCHITECTURE_INTEL);
        ScratchLog log;
        EXPECT_EQ(engine::InstallActions(log, true, Vxpkt(), L"", false), ostra::kDriverRunning);
        const auto messages = log.Messages();
        const std::size_t performing = IndexOf(messages, "Performing NFWCUM installation actions...");
        EXPECT_LT(IndexOf(messages, "Checking driver installation result..."), performing);
        EXPECT_LT(performing, messages.size());
        EXPECT_TRUE(Contains(messages, "Reading nfwc.set location..."));
        EXPECT_TRUE(Contains(messages, "NfwcSetName: 'C:\\Product\\nfwc.set'"));
        EXPECT_TRUE(Contains(messages, "NFWCUM output: settings read from C:\\Product\\nfwc.set"));
        const auto calls = LibraryCalls();
        ASSERT_EQ(calls.size(), 5u);
        EXPECT_EQ(calls[2], "NFWCUM_Reload C:\\Product\\nfwc.set");
        EXPECT_EQ(ServiceState(L"vxpkt"), static_cast<DWORD>(SERVICE_RUNNING));
        DeleteFileW(libraryDir_.File(L"NFWCUM.calls").c_str());

        ScratchLog removal;
        EXPECT_EQ(engine::InstallActions(removal, false, Vxpkt(), L"", false), 0u);
        EXPECT_EQ(removal.Messages().at(0), "Performing NFWCUM uninstallation actions...");
        EXPECT_EQ(LibraryCalls().size(), 4u);  // load, initialise, deinitialise, unload
        DeleteFileW(libraryDir_.File(L"NFWCUM.calls").c_str());
    }
    RemoveService(L"vxpkt");
    for (const WORD architecture : {PROCESSOR_ARCHITECTURE_AMD64, PROCESSOR_ARCHITECTURE_IA64}) {
        SCOPED_TRACE(architecture);
        testsupport::FakeProcessor x64(architecture);
        ScratchLog log;
        EXPECT_EQ(engine::InstallActions(log, true, Vxpkt(), L"", false), ostra::kDriverRunning);
        EXPECT_EQ(engine::InstallActions(log, false, Vxpkt(), L"", false), 0u);
        EXPECT_FALSE(HasMessageStartingWith(log.Messages(), "Performing NFWCUM"));
        EXPECT_EQ(LibraryCalls(), std::vector<std::string>{});
        RemoveService(L"vxpkt");
    }
}

// Whatever goes wrong with the library, the driver's result is its own.
TEST_F(NetworkInstallActions, NetworkFilterLibraryNeverChangesTheResult) {
    testsupport::FakeProcessor x86(PROCESSOR_ARCHITECTURE_INTEL);
    struct Row {
        const char* name;
        std::string general;
        std::string installLine;
        std::string uninstallLine;
    };
    const std::string missing = Narrow(libraryDir_.File(L"missing.dll"));
    const Row rows[] = {
        {"no settings file", LibraryLine(), "Not enough data for NFWCUM actions.", "Running actions..."},
        {"no library", "NfwcSet=C:\\Product\\nfwc.set\r\n", "Not enough data for NFWCUM actions.",
         "Not enough data for NFWCUM actions."},
        {"library missing", "NfwcumDll=" + missing + "\r\nNfwcSet=C:\\Product\\nfwc.set\r\n",
         "Can't load NFWCUM.dll: 0000007e", "Can't load NFWCUM.dll: 0000007e"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PlaceLibrary(row.general);
        ScratchLog log;
        EXPECT_EQ(engine::InstallActions(log, true, Vxpkt(), L"", false), ostra::kDriverRunning);
        EXPECT_TRUE(Contains(log.Messages(), row.installLine));
        ScratchLog removal;
        EXPECT_EQ(engine::InstallActions(removal, false, Vxpkt(), L"", false), 0u);
        EXPECT_TRUE(Contains(removal.Messages(), row.uninstallLine));
        RemoveService(L"vxpkt");
    }
}

}  // namespace
