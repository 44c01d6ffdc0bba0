// Which drivers an install or uninstall stops first, and which failures count.
// The filter manager is a stub under Wine (FilterUnload always succeeds), so
// its answers come through the wrapper's function pointer; every service is
// reported running through the seam.
#include "engine/driver_unload_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/scratch_log.h"
#include "utils/platform/service_api.h"
#include "utils/system_dll_wrapper.h"

namespace {

using describe::DriverDescription;

std::vector<std::wstring> unloaded;
std::map<std::wstring, HRESULT> unloadResults;

HRESULT WINAPI RecordingUnload(LPCWSTR name) {
    unloaded.push_back(name);
    const auto result = unloadResults.find(name);
    return result == unloadResults.end() ? S_OK : result->second;
}

class UnloadDrivers : public testing::Test {
protected:
    UnloadDrivers() : saved_(std::move(utils::fltLibDll)) {
        utils::fltLibDll = std::make_unique<utils::FltLibDllWrapper>();
        utils::fltLibDll->FilterUnload = &RecordingUnload;
        unloaded.clear();
        unloadResults.clear();
    }
    ~UnloadDrivers() override { utils::fltLibDll = std::move(saved_); }

    static std::vector<DriverDescription> Described(std::initializer_list<const wchar_t*> names) {
        std::vector<DriverDescription> drivers;
        for (const wchar_t* name : names) {
            DriverDescription d;
            d.Name = name;
            d.ServiceName = std::wstring(name) + L"svc";
            drivers.push_back(d);
        }
        return drivers;
    }

    std::unique_ptr<utils::FltLibDllWrapper> saved_;
    utils::ScopedOverride<decltype(utils::api::QueryServiceStatusEx)> running_{
        utils::api::QueryServiceStatusEx, [](SC_HANDLE, SC_STATUS_TYPE, LPBYTE buffer, DWORD, LPDWORD) -> BOOL {
            reinterpret_cast<SERVICE_STATUS_PROCESS*>(buffer)->dwCurrentState = SERVICE_RUNNING;
            return TRUE;
        }};
    utils::ScopedOverride<decltype(utils::api::OpenServiceW)> open_{
        utils::api::OpenServiceW,
        [](SC_HANDLE manager, LPCWSTR, DWORD access) -> SC_HANDLE {
            // Any registered service stands in; only its reported state counts.
            return ::OpenServiceW(manager, L"PlugPlay", access);
        }};
};

TEST_F(UnloadDrivers, TableOrderAndWhichFailuresCount) {
    constexpr HRESULT kNotFound = static_cast<HRESULT>(0x801F0013);
    struct Row {
        const char* name;
        std::vector<DriverDescription> drivers;
        std::map<std::wstring, HRESULT> failing;
        std::uint32_t result;
        std::vector<std::wstring> unloaded;
    };
    const Row rows[] = {
        {"none of the table", Described({L"vxmon", L"vxtrap"}), {}, 0, {}},
        {"filters in table order", Described({L"vxfsd", L"vxmon", L"vxvault"}), {}, 0,
         {L"vxvault2", L"vxvaultsvc", L"vxfsdsvc"}},
        {"vxvault's own failure is only logged", Described({L"vxvault"}), {{L"vxvaultsvc", kNotFound}}, 0,
         {L"vxvault2", L"vxvaultsvc"}},
        {"vxvault2 counts", Described({L"vxvault"}), {{L"vxvault2", kNotFound}}, 0x801F0013,
         {L"vxvault2", L"vxvaultsvc"}},
        {"vxfsd counts", Described({L"vxfsd"}), {{L"vxfsdsvc", kNotFound}}, 0x801F0013, {L"vxfsdsvc"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        unloaded.clear();
        unloadResults = row.failing;
        testsupport::ScratchLog log;
        EXPECT_EQ(engine::UnloadDrivers(log, row.drivers), row.result);
        EXPECT_EQ(unloaded, row.unloaded);
    }
}

}  // namespace
