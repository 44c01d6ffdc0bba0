// Privileges of the test program's own token under Wine.
#include "system/privileges.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/scratch_log.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/security_api.h"
#include "utils/system_dll_wrapper.h"

namespace {

using testsupport::Contains;
using testsupport::ScratchLog;

// The privileges of the process token as the system lists them.
std::vector<BYTE> TokenPrivilegeList() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> data(size);
    if (!size || !GetTokenInformation(token, TokenPrivileges, data.data(), size, &size)) data.clear();
    CloseHandle(token);
    return data;
}

// Whether the privilege `name` is enabled in the process token; false when
// the token does not hold it at all.
bool IsEnabled(const wchar_t* name) {
    LUID id{};
    if (!LookupPrivilegeValueW(nullptr, name, &id)) return false;
    std::vector<BYTE> data = TokenPrivilegeList();
    if (data.empty()) return false;
    const auto* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(data.data());
    for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = list->Privileges[i];
        if (entry.Luid.LowPart == id.LowPart && entry.Luid.HighPart == id.HighPart) {
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    return false;
}

// Switches the privilege off without the installer's code, so that a test
// sees the installer switch it on.
void Disable(const wchar_t* name) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES off{};
    off.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, name, &off.Privileges[0].Luid));
    off.Privileges[0].Attributes = 0;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &off, 0, nullptr, nullptr));
    CloseHandle(token);
    ASSERT_FALSE(IsEnabled(name));
}

std::string Raised(const std::wstring& name) {
    try {
        privileges::EnablePrivilege(name);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no exception";
}

// Token handles that the code under test opened and closed, for the life of the object.
class TokenWatch {
public:
    TokenWatch()
        : open_(utils::api::OpenProcessToken, &Open), close_(utils::api::CloseHandle, &Close) {
        opened = nullptr;
        closed = false;
    }
    static bool Closed() { return opened != nullptr && closed; }

private:
    static BOOL WINAPI Open(HANDLE process, DWORD access, PHANDLE token) {
        const BOOL done = OpenProcessToken(process, access, token);
        if (done) opened = *token;
        return done;
    }
    static BOOL WINAPI Close(HANDLE handle) {
        if (handle == opened) closed = true;
        return CloseHandle(handle);
    }

    inline static HANDLE opened = nullptr;
    inline static bool closed = false;
    utils::ScopedOverride<decltype(utils::api::OpenProcessToken)> open_;
    utils::ScopedOverride<decltype(utils::api::CloseHandle)> close_;
};

BOOL WINAPI FailToOpen(HANDLE, DWORD, PHANDLE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI FailToLookUp(LPCWSTR, LPCWSTR, PLUID) {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
}
BOOL WINAPI FailToAdjust(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

TEST(EnablePrivilege, EnablesAKnownPrivilegeAndIgnoresAnUnknownOne) {
    Disable(L"SeBackupPrivilege");
    {
        TokenWatch watch;
        EXPECT_EQ(Raised(L"SeBackupPrivilege"), "no exception");
        EXPECT_TRUE(TokenWatch::Closed());
    }
    EXPECT_TRUE(IsEnabled(L"SeBackupPrivilege"));

    const std::vector<BYTE> before = TokenPrivilegeList();
    ASSERT_FALSE(before.empty());
    TokenWatch watch;
    EXPECT_EQ(Raised(L"SeNoSuchPrivilege"), "no exception");
    EXPECT_EQ(TokenPrivilegeList(), before);
    EXPECT_TRUE(TokenWatch::Closed());
}

TEST(EnablePrivilege, FailuresRaiseTheirText) {
    {
        utils::ScopedOverride open(utils::api::OpenProcessToken, &FailToOpen);
        EXPECT_EQ(Raised(L"SeBackupPrivilege"), "OpenProcessToken failed, err 5");
    }
    TokenWatch watch;
    utils::ScopedOverride adjust(utils::api::AdjustTokenPrivileges, &FailToAdjust);
    EXPECT_EQ(Raised(L"SeBackupPrivilege"), "AdjustTokenPrivileges failed, err 6");
    EXPECT_TRUE(TokenWatch::Closed()) << "the token is closed when the adjusting fails";
}

// Puts a filter manager library wrapper in place for the life of the object,
// as the process entry does at start-up, and the previous one back afterwards.
class FilterLibrary {
public:
    FilterLibrary() : saved_(std::move(utils::fltLibDll)) {
        utils::fltLibDll = std::make_unique<utils::FltLibDllWrapper>();
    }
    ~FilterLibrary() { utils::fltLibDll = std::move(saved_); }
    utils::FltLibDllWrapper::FilterUnloadFn& Unload() { return utils::fltLibDll->FilterUnload; }

private:
    std::unique_ptr<utils::FltLibDllWrapper> saved_;
};

// What a filter that is not loaded gives on Windows: ERROR_FLT_FILTER_NOT_FOUND.
constexpr std::uint32_t kFilterNotFound = 0x801F0013;

// Wine's FilterUnload is a stub that reports success for any name, where
// Windows fails for a filter that is not loaded. The failing case is shown
// through the seam below; this test fails once Wine behaves like Windows.
TEST(UnloadFilterWithPrivilege, WineUnloadsAnyFilterAndThePrivilegeStaysOn) {
    FilterLibrary library;
    Disable(L"SeLoadDriverPrivilege");
    ScratchLog log;
    EXPECT_EQ(privileges::UnloadFilterWithPrivilege(log, L"vxNoSuchFilter"), 0u)
        << "Wine's FilterUnload now fails for a filter that is not loaded: expect that code here";
    EXPECT_TRUE(IsEnabled(L"SeLoadDriverPrivilege"));
    EXPECT_EQ(log.Messages(), std::vector<std::string>{});
}

TEST(UnloadFilterWithPrivilege, FilterUnloadResultComesBackUnchanged) {
    FilterLibrary library;
    static std::wstring unloaded;
    unloaded.clear();
    utils::ScopedOverride unload(library.Unload(), [](LPCWSTR name) -> HRESULT {
        unloaded = name;
        return static_cast<HRESULT>(kFilterNotFound);
    });
    ScratchLog log;
    EXPECT_EQ(privileges::UnloadFilterWithPrivilege(log, L"vxfsd"), kFilterNotFound);
    EXPECT_EQ(unloaded, L"vxfsd");
}

TEST(UnloadFilterWithPrivilege, TokenStepFailuresAreLoggedAndReturned) {
    FilterLibrary library;
    static int unloads = 0;
    unloads = 0;
    utils::ScopedOverride unload(library.Unload(), [](LPCWSTR) -> HRESULT {
        ++unloads;
        return S_OK;
    });
    {
        utils::ScopedOverride open(utils::api::OpenProcessToken, &FailToOpen);
        ScratchLog log;
        EXPECT_EQ(privileges::UnloadFilterWithPrivilege(log, L"vxfsd"), 5u);
        EXPECT_TRUE(Contains(log.Messages(), "Failed to open process token: 0x00000005"));
    }
    {
        TokenWatch watch;
        utils::ScopedOverride lookUp(utils::api::LookupPrivilegeValueW, &FailToLookUp);
        ScratchLog log;
        EXPECT_EQ(privileges::UnloadFilterWithPrivilege(log, L"vxfsd"), 1313u);
        EXPECT_TRUE(Contains(log.Messages(), "Failed to lookup for privilege: 0x00000521"));
        EXPECT_TRUE(TokenWatch::Closed());
    }
    {
        TokenWatch watch;
        utils::ScopedOverride adjust(utils::api::AdjustTokenPrivileges, &FailToAdjust);
        ScratchLog log;
        EXPECT_EQ(privileges::UnloadFilterWithPrivilege(log, L"vxfsd"), 6u);
        EXPECT_TRUE(Contains(log.Messages(), "Failed to adjust SeLoadDriverPrivilege privilege: 0x00000006\n"))
            << testing::PrintToString(log.Messages());
        EXPECT_TRUE(TokenWatch::Closed());
    }
    EXPECT_EQ(unloads, 0) << "no unload without the privilege";
}

}  // namespace
