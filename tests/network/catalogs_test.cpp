// Catalog registration with Wine's wintrust.dll, loaded by the code under
// test; the library, its functions and the administrator context are watched
// through the seam.
#include "network/catalogs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"

namespace {

using testsupport::Contains;
using testsupport::ScratchLog;

std::wstring SystemDirectory() {
    wchar_t directory[MAX_PATH];
    GetSystemDirectoryW(directory, MAX_PATH);
    return directory;
}

bool IsWintrust(const wchar_t* path) {
    const std::wstring text = path;
    const std::wstring name = L"\\wintrust.dll";
    return text.size() >= name.size() && lstrcmpiW(text.c_str() + text.size() - name.size(), name.c_str()) == 0;
}

// Watches every load of wintrust.dll and what is taken from it for the life
// of the object. `replaced` puts a fake in place of a function (nullptr: the
// function is missing); the context release is counted and passed through.
struct WintrustState {
    std::vector<std::wstring> loadedPaths;
    HMODULE module = nullptr;
    int frees = 0;
    int contextReleases = 0;
    HANDLE releasedContext = nullptr;
    std::map<std::string, FARPROC> replaced;
    FARPROC realRelease = nullptr;
};

class WintrustWatch {
public:
    inline static WintrustState state;

    WintrustWatch()
        : load_(utils::api::LoadLibraryW, &Load), free_(utils::api::FreeLibrary, &Free),
          procedure_(utils::api::GetProcAddress, &Procedure) {
        state = WintrustState();
    }

    template <class Fn>
    static void Replace(const char* name, Fn fake) {
        state.replaced[name] = reinterpret_cast<FARPROC>(reinterpret_cast<void*>(fake));
    }
    static void Remove(const char* name) { state.replaced[name] = nullptr; }

    // Everything loaded was freed again, context included.
    static bool Released() { return state.module != nullptr && state.frees == 1; }

private:
    static HMODULE WINAPI Load(LPCWSTR path) {
        HMODULE module = LoadLibraryW(path);
        if (IsWintrust(path)) {
            state.loadedPaths.push_back(path);
            state.module = module;
        }
        return module;
    }
    static BOOL WINAPI Free(HMODULE module) {
        if (module == state.module) ++state.frees;
        return FreeLibrary(module);
    }
    static BOOL WINAPI CountedRelease(HANDLE context, DWORD flags) {
        ++state.contextReleases;
        state.releasedContext = context;
        using Fn = BOOL(WINAPI*)(HANDLE, DWORD);
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(state.realRelease))(context, flags);
    }
    static FARPROC WINAPI Procedure(HMODULE module, LPCSTR name) {
        if (module != state.module || reinterpret_cast<ULONG_PTR>(name) >> 16 == 0) return GetProcAddress(module, name);
        if (const auto fake = state.replaced.find(name); fake != state.replaced.end()) return fake->second;
        if (std::string(name) == "CryptCATAdminReleaseContext") {
            state.realRelease = GetProcAddress(module, name);
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CountedRelease));
        }
        return GetProcAddress(module, name);
    }

    utils::ScopedOverride<decltype(utils::api::LoadLibraryW)> load_;
    utils::ScopedOverride<decltype(utils::api::FreeLibrary)> free_;
    utils::ScopedOverride<decltype(utils::api::GetProcAddress)> procedure_;
};

// The one message that starts with `start` and ends with `end`, and the
// pointer printed between them; 0 when there is no such message.
std::uintptr_t PointerBetween(const std::vector<std::string>& messages, const std::string& start,
                              const std::string& end) {
    for (const std::string& message : messages) {
        if (message.size() < start.size() + end.size() || message.rfind(start, 0) != 0 ||
            message.compare(message.size() - end.size(), end.size(), end) != 0) {
            continue;
        }
        const std::string digits = message.substr(start.size(), message.size() - start.size() - end.size());
        char* stop = nullptr;
        const unsigned long long value = std::strtoull(digits.c_str(), &stop, 16);
        if (!digits.empty() && *stop == '\0') return static_cast<std::uintptr_t>(value);
    }
    return 0;
}

// The path is worked out on the program's first call at the latest, so two
// calls ask for the system directory once at most.
TEST(RegCat, LibraryPathIsWorkedOutOnce) {
    ScratchLog log;
    static int directoryQueries = 0;
    utils::ScopedOverride directory(utils::api::GetSystemDirectoryW, [](LPWSTR buffer, UINT size) -> UINT {
        ++directoryQueries;
        return GetSystemDirectoryW(buffer, size);
    });
    WintrustWatch watch;
    network::reg_cat(log, L"", L"tarnel-none.cat", false);
    network::reg_cat(log, L"", L"tarnel-none.cat", false);
    EXPECT_LE(directoryQueries, 1);
    const std::vector<std::wstring> expected(2, SystemDirectory() + L"\\Wintrust.dll");
    EXPECT_EQ(WintrustWatch::state.loadedPaths, expected);
}

TEST(RegCat, AddingAMissingFileIsLoggedAndEverythingReleased) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"missing.cat");
    WintrustWatch watch;
    ScratchLog log;
    network::reg_cat(log, path, L"tarnel-missing.cat", true);

    const std::string start = "reg_cat. pfCryptCATAdminAddCatalog(0x";
    const std::string end = ", '" + std::string(path.begin(), path.end()) + "', 'tarnel-missing.cat', 0) failed, "
                            "GetLastError()=2";
    const std::uintptr_t context = PointerBetween(log.Messages(), start, end);
    EXPECT_NE(context, 0u) << testing::PrintToString(log.Messages());
    EXPECT_EQ(WintrustWatch::state.contextReleases, 1);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(WintrustWatch::state.releasedContext), context)
        << "the context that was used is the one released";
    EXPECT_TRUE(WintrustWatch::Released());
}

// Wine's CryptCATAdminRemoveCatalog reports success for a catalog that is not
// registered, where Windows fails with the platform's error number. The
// failure is shown through the seam below; this test fails once Wine behaves
// like Windows.
TEST(RegCat, WineRemovesACatalogThatIsNotRegistered) {
    WintrustWatch watch;
    ScratchLog log;
    network::reg_cat(log, L"", L"tarnel-none.cat", false);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{})
        << "Wine now fails the removal of an unregistered catalog: expect the remove failure here";
    EXPECT_EQ(WintrustWatch::state.contextReleases, 1);
    EXPECT_TRUE(WintrustWatch::Released());
}

TEST(RegCat, RemoveFailureIsLogged) {
    WintrustWatch watch;
    WintrustWatch::Replace("CryptCATAdminRemoveCatalog", +[](HANDLE, LPCWSTR, DWORD) -> BOOL {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    });
    ScratchLog log;
    network::reg_cat(log, L"ignored.cat", L"tarnel-none.cat", false);
    const std::uintptr_t context = PointerBetween(log.Messages(), "reg_cat. pfCryptCATAdminRemoveCatalog(0x",
                                                  ", 'tarnel-none.cat', 0) failed, GetLastError()=1168");
    EXPECT_NE(context, 0u) << testing::PrintToString(log.Messages());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(WintrustWatch::state.releasedContext), context);
    EXPECT_TRUE(WintrustWatch::Released());
}

TEST(RegCat, AddedCatalogHandleIsReleased) {
    static HANDLE addedContext = nullptr;
    static std::wstring addedPath, addedMember;
    static HANDLE releasedCatalog = nullptr;
    static BOOL releaseResult = TRUE;
    const auto fakeAdd = +[](HANDLE context, PWSTR path, PWSTR member, DWORD flags) -> HANDLE {
        addedContext = context;
        addedPath = path;
        addedMember = member;
        return flags == 0 ? reinterpret_cast<HANDLE>(0xCA7) : nullptr;
    };
    const auto fakeRelease = +[](HANDLE, HANDLE catalog, DWORD) -> BOOL {
        releasedCatalog = catalog;
        if (!releaseResult) SetLastError(ERROR_INVALID_HANDLE);
        return releaseResult;
    };
    for (const BOOL result : {TRUE, FALSE}) {
        SCOPED_TRACE(result);
        releaseResult = result;
        releasedCatalog = nullptr;
        WintrustWatch watch;
        WintrustWatch::Replace("CryptCATAdminAddCatalog", fakeAdd);
        WintrustWatch::Replace("CryptCATAdminReleaseCatalogContext", fakeRelease);
        ScratchLog log;
        network::reg_cat(log, L"C:\\pkg\\vxnet.cat", L"vxnet.cat", true);
        EXPECT_EQ(addedPath, L"C:\\pkg\\vxnet.cat");
        EXPECT_EQ(addedMember, L"vxnet.cat");
        EXPECT_EQ(releasedCatalog, reinterpret_cast<HANDLE>(0xCA7));
        EXPECT_EQ(WintrustWatch::state.releasedContext, addedContext);
        EXPECT_TRUE(WintrustWatch::Released());
        const std::vector<std::string> expected =
            result ? std::vector<std::string>{}
                   : std::vector<std::string>{"reg_cat. fCryptCATAdminReleaseCatalogContext failed, GetLastError()=6"};
        EXPECT_EQ(log.Messages(), expected);
    }
}

TEST(RegCat, FailuresBeforeTheCatalogStep) {
    {
        utils::ScopedOverride missing(utils::api::LoadLibraryW, [](LPCWSTR) -> HMODULE {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        });
        ScratchLog log;
        network::reg_cat(log, L"C:\\pkg\\vxnet.cat", L"vxnet.cat", true);
        EXPECT_EQ(log.Messages(), std::vector<std::string>{"reg_cat. Error 126 loading 'Wintrust.dll'"});
    }
    static int acquired = 0;
    acquired = 0;
    {
        WintrustWatch watch;
        WintrustWatch::Remove("CryptCATAdminRemoveCatalog");
        WintrustWatch::Replace("CryptCATAdminAcquireContext", +[](HANDLE*, const GUID*, DWORD) -> BOOL {
            ++acquired;
            return FALSE;
        });
        ScratchLog log;
        network::reg_cat(log, L"C:\\pkg\\vxnet.cat", L"vxnet.cat", true);
        EXPECT_EQ(log.Messages(), std::vector<std::string>{"reg_cat. Some of GetProcAddress() failed"});
        EXPECT_EQ(acquired, 0);
        EXPECT_TRUE(WintrustWatch::Released());
    }
    {
        WintrustWatch watch;
        WintrustWatch::Replace("CryptCATAdminAcquireContext", +[](HANDLE*, const GUID* subsystem, DWORD) -> BOOL {
            ++acquired;
            SetLastError(subsystem == nullptr ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
            return FALSE;
        });
        ScratchLog log;
        network::reg_cat(log, L"C:\\pkg\\vxnet.cat", L"vxnet.cat", true);
        EXPECT_EQ(log.Messages(),
                  std::vector<std::string>{"reg_cat. pfCryptCATAdminAcquireContext failed, GetLastError()=5"});
        EXPECT_EQ(acquired, 1);
        EXPECT_EQ(WintrustWatch::state.contextReleases, 0) << "no context to release";
        EXPECT_TRUE(WintrustWatch::Released());
    }
}

}  // namespace
