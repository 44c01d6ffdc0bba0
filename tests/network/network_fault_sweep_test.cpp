// The network operations of the windows-faults build with one platform call
// failed at a time, in process: call K once, and call K with every later
// one, for every K in 1..N, N being the calls of a run without failure.
// Each run must end with a result the operation documents, close its network
// configuration session (COM, write lock, objects), leave the current
// directory and the loaded modules as they were, and leave the OEM INF memo
// whole or gone. Wine's missing network configuration methods are faked as
// in the ordinary tests (support/fake_netcfg.h); the fakes pass the gate.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "network/catalogs.h"
#include "network/net_component.h"
#include "network/nfwcum.h"
#include "services/service_control.h"
#include "support/driver_services.h"
#include "support/fake_executable.h"
#include "support/fake_netcfg.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/fault_gate.h"

namespace {

using testsupport::FakeNetCfg;
using testsupport::ScratchLog;
using testsupport::TempDir;
using utils::gate::ArmedFault;
using utils::gate::Mode;

constexpr wchar_t kMemoKey[] = L"SOFTWARE\\Classes\\vxnet";
// The service the uninstall deletes; a new one for each run, since a run whose
// handle release failed keeps the previous one marked for deletion.
std::wstring testService = L"tarnelnettest";
int serviceRuns = 0;
// Far beyond any run: arms nothing, counts the calls.
constexpr std::uint64_t kNoFailure = 1ull << 40;

// The results the component operations document: success, the Setup API's
// INF copy missing (E_FAIL), and the failures of the calls on their way as
// the seam declares them.
const std::set<HRESULT> kDocumented{S_OK, S_FALSE, E_FAIL, E_OUTOFMEMORY, REGDB_E_CLASSNOTREG, E_NOINTERFACE,
                                    E_ACCESSDENIED};

std::string Hex(HRESULT value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

std::wstring InfFolder() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf\\";
}

std::wstring CurrentDirectory() {
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    return directory;
}

// "whole", "gone", or what is wrong with the memo.
std::string MemoState() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMemoKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "gone";
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    const LSTATUS status = RegGetValueW(key, nullptr, L"vxnet", RRF_RT_REG_SZ, nullptr, value, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "a memo key without its value";
    if (!testsupport::FileExists(InfFolder() + value)) return "a memo of an INF that is not there";
    return "whole";
}

// The calls the gate failed in the armed run, by name.
struct FailedCalls {
    std::vector<std::string> names;
    static void Record(void* context, std::uint64_t, const char* name) {
        static_cast<FailedCalls*>(context)->names.emplace_back(name);
    }
    bool Includes(const char* name) const {
        for (const auto& failed : names) {
            if (failed == name) return true;
        }
        return false;
    }
};

class NetworkFaultSweep : public testing::Test {
protected:
    NetworkFaultSweep() : executable_(installer_.File(L"tarnel.exe")) {
        testsupport::CopyTreeOrThrow(std::wstring(TARNEL_DIST_DIR) + L"\\drivers\\x64", package_.Path());
        testsupport::CopyFileOrThrow(std::wstring(NFWCUM_FIXTURES_DIR) + L"\\complete\\NFWCUM.dll",
                                     libraryDir_.File(L"NFWCUM.dll"));
        testsupport::WriteFileText(installer_.File(L"tarnel.ini"),
                                   "[General]\r\nNfwcumDll=" + testsupport::Narrow(Library()) + "\r\n");
    }
    ~NetworkFaultSweep() override { Clean(); }

    std::wstring Library() const { return libraryDir_.File(L"NFWCUM.dll"); }

    void Clean() {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMemoKey);
        DeleteFileW((InfFolder() + L"vxnet.inf").c_str());
        ScratchLog log(0);
        network::reg_cat(log, L"", L"vxnet.cat", false);
        testsupport::RemoveService(testService);
    }

    HRESULT InstallComponent(SdkEventLog& log) {
        return network::HrInstallNetComponent(log, L"orv_vxnet", network::kNetService, package_.File(L"vxnet.inf"),
                                              package_.File(L"vxnet.cat"), L"vxnet.cat", L"vxnet");
    }
    HRESULT UninstallComponent(SdkEventLog& log) {
        return network::UninstallNetComponent(log, L"orv_vxnet", package_.File(L"vxnet.cat"), L"vxnet.cat", L"vxnet",
                                              testService, &services::DeleteServiceByName);
    }

    // One sweep of `operation` (which returns its result) after `prepare`;
    // `check` looks at each armed run besides the common checks.
    // The names of the calls that were failed are added to `swept`.
    void Sweep(const char* name, const std::function<void()>& prepare, const std::function<HRESULT(SdkEventLog&)>& operation,
               const std::function<void(HRESULT, const FailedCalls&)>& check) {
        prepare();
        // A quiet log, made before the gate is armed: the operation's own calls are counted.
        ScratchLog log(0);
        std::uint64_t calls = 0;
        {
            FakeNetCfg netCfg;
            ArmedFault counting(kNoFailure, Mode::Once);
            const HRESULT plain = operation(log);
            calls = counting.CallsMade();
            ASSERT_EQ(plain, S_OK) << name << " without failure";
            ASSERT_TRUE(netCfg.AllReleased());
        }
        ASSERT_GT(calls, 0u);
        for (const Mode mode : {Mode::Once, Mode::FromThereOn}) {
            std::map<HRESULT, int> results;
            for (std::uint64_t k = 1; k <= calls; ++k) {
                SCOPED_TRACE(testing::Message() << name << ", call " << k << (mode == Mode::Once ? " once" : " on"));
                prepare();
                const std::wstring directory = CurrentDirectory();
                FailedCalls failed;
                HRESULT result = S_OK;
                bool balanced = false;
                std::vector<std::string> netCfgCalls;
                {
                    FakeNetCfg netCfg;
                    utils::gate::SetReporter(&FailedCalls::Record, &failed);
                    {
                        ArmedFault fault(k, mode);
                        result = operation(log);
                    }
                    utils::gate::SetReporter(nullptr, nullptr);
                    // A failed Uninitialize keeps the lock until the object goes, which
                    // the fake's count does not see.
                    // The write lock stays with the configuration object, and goes with
                    // it, when the session cannot give it up: Uninitialize failed, or the
                    // query for the lock did.
                    balanced = netCfg.Script().coInitialized == 0 && netCfg.Script().liveObjects == 0 &&
                               (netCfg.Script().locksHeld == 0 || failed.Includes("NetCfgUninitialize") ||
                                failed.Includes("ComQueryInterface"));
                    netCfgCalls = netCfg.Script().calls;
                }
                ++results[result];
                swept_.insert(failed.names.begin(), failed.names.end());
                SCOPED_TRACE("failed: " + testing::PrintToString(failed.names));
                EXPECT_FALSE(failed.names.empty()) << "no call failed";
                EXPECT_TRUE(balanced) << testing::PrintToString(netCfgCalls);
                // Only a failed SetCurrentDirectoryW keeps the library's folder as the current one.
                if (!failed.Includes("SetCurrentDirectoryW")) {
                    EXPECT_EQ(CurrentDirectory(), directory);
                }
                SetCurrentDirectoryW(directory.c_str());
                if (GetModuleHandleW(Library().c_str())) {
                    // Only a failed FreeLibrary may keep it; it is freed here for the next run.
                    EXPECT_TRUE(failed.Includes("FreeLibrary"));
                    FreeLibrary(GetModuleHandleW(Library().c_str()));
                }
                check(result, failed);
            }
            std::printf("%s, %s: N = %llu;", name, mode == Mode::Once ? "once" : "from K on",
                        static_cast<unsigned long long>(calls));
            for (const auto& [result, count] : results) std::printf(" %s x%d", Hex(result).c_str(), count);
            std::printf("\n");
        }
    }

    std::set<std::string> swept_;
    TempDir package_;
    TempDir installer_;
    TempDir libraryDir_;
    testsupport::FakeExecutablePath executable_;
};

TEST_F(NetworkFaultSweep, ComponentInstall) {
    Sweep(
        "component install", [this] { Clean(); }, [this](SdkEventLog& log) { return InstallComponent(log); },
        [](HRESULT result, const FailedCalls& failed) {
            EXPECT_TRUE(kDocumented.count(result)) << Hex(result);
            // The memo is whole or gone; a key without its name stays only when its removal failed too.
            const std::string memo = MemoState();
            if (memo != "whole" && memo != "gone") {
                EXPECT_EQ(memo, "a memo key without its value");
                EXPECT_TRUE(failed.Includes("RegDeleteKeyW"));
            }
        });
    // The session's calls, the Setup API's and the component's pass the gate.
    for (const char* call : {"CoInitializeEx", "CoCreateInstance", "ComQueryInterface", "NetCfgAcquireWriteLock",
                             "NetCfgInitialize", "NetCfgQueryNetCfgClass", "NetCfgClassSetupInstall", "NetCfgApply",
                             "NetCfgUninitialize", "NetCfgReleaseWriteLock", "SetupCopyOEMInfW", "RegSetValueExW"}) {
        EXPECT_TRUE(swept_.count(call)) << call;
    }
}

TEST_F(NetworkFaultSweep, ComponentUninstall) {
    const auto prepare = [this] {
        Clean();
        FakeNetCfg netCfg;
        ScratchLog log(0);
        ASSERT_EQ(InstallComponent(log), S_OK);
        testService = L"tarnelnettest" + std::to_wstring(++serviceRuns);
        testsupport::RegisterDriverService(testService, L"System32\\drivers\\tarnelnettest.sys");
    };
    Sweep("component uninstall", prepare, [this](SdkEventLog& log) { return UninstallComponent(log); },
          [](HRESULT result, const FailedCalls& failed) {
              EXPECT_TRUE(kDocumented.count(result)) << Hex(result);
              // The memo goes unless its own removal failed.
              if (!failed.Includes("RegDeleteKeyW")) {
                  EXPECT_EQ(MemoState(), "gone");
              }
          });
    for (const char* call : {"NetCfgFindComponent", "NetCfgComponentGetClassGuid", "NetCfgClassSetupDeInstall",
                             "SetupUninstallOEMInfW", "RegDeleteKeyW", "DeleteService"}) {
        EXPECT_TRUE(swept_.count(call)) << call;
    }
}

TEST_F(NetworkFaultSweep, FilterLibraryActions) {
    const auto none = [] {};
    Sweep(
        "filter library install", none,
        [](SdkEventLog& log) {
            std::wstring library;
            if (network::ReadNfwcumLocation(log, library)) {
                network::RunNfwcumInstallActions(log, library, L"C:\\Product\\nfwc.set");
            }
            return S_OK;
        },
        [](HRESULT, const FailedCalls&) {});
    Sweep(
        "filter library uninstall", none,
        [this](SdkEventLog& log) {
            network::RunNfwcumUninstallActions(log, Library());
            return S_OK;
        },
        [](HRESULT, const FailedCalls&) {});
}

}  // namespace
