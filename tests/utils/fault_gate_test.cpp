// The fault gate of the windows-faults build, in process: which call fails,
// how it fails, and what is counted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/platform/com_api.h"
#include "utils/platform/crt_api.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"
#include "utils/platform/shell_api.h"
#include "utils/system_dll_wrapper.h"

namespace {

using utils::gate::ArmedFault;
using utils::gate::Mode;

constexpr DWORD kSentinelError = 0x7E57;

// The attributes of the Windows folder, three times through the slot.
std::vector<DWORD> ThreeAttributeQueries() {
    std::vector<DWORD> results;
    for (int i = 0; i < 3; ++i) results.push_back(utils::api::GetFileAttributesW(L"C:\\windows"));
    return results;
}

TEST(FaultGate, FailsTheArmedCallOnceOrFromThereOn) {
    const DWORD real = GetFileAttributesW(L"C:\\windows");
    ASSERT_NE(real, INVALID_FILE_ATTRIBUTES);
    {
        ArmedFault fault(2, Mode::Once);
        EXPECT_EQ(ThreeAttributeQueries(), (std::vector<DWORD>{real, INVALID_FILE_ATTRIBUTES, real}));
        EXPECT_EQ(fault.CallsMade(), 3u);
        EXPECT_EQ(fault.Failures(), 1u);
    }
    {
        ArmedFault fault(2, Mode::FromThereOn);
        EXPECT_EQ(ThreeAttributeQueries(),
                  (std::vector<DWORD>{real, INVALID_FILE_ATTRIBUTES, INVALID_FILE_ATTRIBUTES}));
        EXPECT_EQ(fault.Failures(), 2u);
    }
    EXPECT_EQ(ThreeAttributeQueries(), (std::vector<DWORD>{real, real, real}));  // disarmed with the object
}

TEST(FaultGate, CallsThatCannotFailAreNeitherCountedNorFailed) {
    ArmedFault fault(1, Mode::FromThereOn);
    EXPECT_EQ(utils::api::GetCurrentProcessId(), GetCurrentProcessId());
    SYSTEMTIME now = {};
    utils::api::GetLocalTime(&now);
    EXPECT_NE(now.wYear, 0);
    EXPECT_EQ(utils::api::lstrcmpiW(L"Early-Launch", L"EARLY-launch"), 0);
    wchar_t path[] = L"C:\\x\\tarnel.exe";
    EXPECT_STREQ(utils::api::PathFindFileNameW(path), L"tarnel.exe");
    EXPECT_EQ(fault.CallsMade(), 0u);
}

// Each kind of failure as its API reports one; none of the calls reaches the
// system, so outputs keep their sentinels.
TEST(FaultGate, EachCallFailsAsItsApiDoes) {
    ArmedFault fault(1, Mode::FromThereOn);

    HKEY key = reinterpret_cast<HKEY>(0x5E);
    SetLastError(kSentinelError);
    EXPECT_EQ(utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, reinterpret_cast<HKEY>(0x5E));
    EXPECT_EQ(GetLastError(), kSentinelError) << "a registry call leaves the last error alone";
    EXPECT_EQ(utils::api::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TarnelNoSuchKey"),
              static_cast<LSTATUS>(ERROR_ACCESS_DENIED));

    EXPECT_EQ(utils::api::CreateFileW(L"C:\\windows\\win.ini", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinelError);
    EXPECT_EQ(utils::api::CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(utils::api::WaitForSingleObject(GetCurrentProcess(), 0), WAIT_FAILED);
    EXPECT_FALSE(utils::api::SetCurrentDirectoryW(L"C:\\"));

    GUID guid = {};
    EXPECT_EQ(utils::api::CoCreateGuid(&guid), E_FAIL);
    EXPECT_EQ(guid.Data1, 0u);

    errno = 0;
    EXPECT_EQ(utils::api::_waccess(L"C:\\windows", 0), -1);
    EXPECT_EQ(errno, EACCES);
    wchar_t full[MAX_PATH] = L"untouched";
    EXPECT_EQ(utils::api::_wfullpath(full, L"x", MAX_PATH), nullptr);
    EXPECT_STREQ(full, L"untouched");

    EXPECT_EQ(fault.CallsMade(), 9u);
    EXPECT_EQ(fault.Failures(), 9u);
}

TEST(FaultGate, AnOverrideTakesTheSlotFromTheGateForItsLife) {
    ArmedFault fault(1, Mode::FromThereOn);
    {
        utils::ScopedOverride fake(utils::api::GetFileAttributesW, [](LPCWSTR) -> DWORD { return 0x42; });
        EXPECT_EQ(utils::api::GetFileAttributesW(L"C:\\windows"), 0x42u);
        EXPECT_EQ(fault.CallsMade(), 0u);
        // A fake that passes the call on reaches the gate.
        EXPECT_EQ(fake.Original()(L"C:\\windows"), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(utils::api::GetFileAttributesW(L"C:\\windows"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(fault.CallsMade(), 2u);
}

TEST(FaultGate, FunctionsFoundAtRunTimePassTheGate) {
    utils::FltLibDllWrapper fltlib;
    utils::VersionDllWrapper version;
    ArmedFault fault(1, Mode::FromThereOn);
    EXPECT_EQ(fltlib.FilterUnload(L"tarnel-no-such-filter"), E_ACCESSDENIED);
    DWORD handle = 0;
    EXPECT_EQ(version.GetFileVersionInfoSizeExW(0, L"C:\\windows\\system32\\kernel32.dll", &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(fault.Failures(), 2u);

    // A function that is not there stays missing, so callers still see it missing.
    using Missing = BOOL(WINAPI*)(PVOID);
    const Missing routed =
        TARNEL_PLATFORM_PROCEDURE(TarnelNoSuchExport, utils::fail::False(ERROR_ACCESS_DENIED), Missing{});
    EXPECT_EQ(routed, nullptr);
}

struct Reports {
    std::vector<std::string> names;
    std::vector<std::uint64_t> calls;
};

TEST(FaultGate, EachFailureIsReportedAndTheReportsCallsPassUnseen) {
    static Reports reports;
    utils::gate::SetReporter(
        [](void*, std::uint64_t call, const char* name) {
            reports.names.push_back(name);
            reports.calls.push_back(call);
            // A report that makes platform calls itself (a log does) sees them succeed.
            EXPECT_NE(utils::api::GetFileAttributesW(L"C:\\windows"), INVALID_FILE_ATTRIBUTES);
        },
        nullptr);
    {
        ArmedFault fault(2, Mode::FromThereOn);
        utils::api::GetFileAttributesW(L"C:\\windows");
        utils::api::SetCurrentDirectoryW(L"C:\\");
        utils::api::GetFileAttributesW(L"C:\\windows");
        EXPECT_EQ(fault.CallsMade(), 3u);
    }
    utils::gate::SetReporter(nullptr, nullptr);
    EXPECT_EQ(reports.names, (std::vector<std::string>{"SetCurrentDirectoryW", "GetFileAttributesW"}));
    ASSERT_EQ(reports.calls.size(), 2u);
    EXPECT_EQ(reports.calls[1], reports.calls[0] + 1);
}

}  // namespace
