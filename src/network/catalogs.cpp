#include "network/catalogs.h"

#include "utils/platform/kernel_api.h"
#include "utils/system_dll_wrapper.h"
#include "utils/unique_handle.h"

namespace network {
namespace {

using CatalogAdmin = HANDLE;
using CatalogInfo = HANDLE;

using AcquireContextFn = BOOL(WINAPI*)(CatalogAdmin* admin, const GUID* subsystem, DWORD flags);
using ReleaseContextFn = BOOL(WINAPI*)(CatalogAdmin admin, DWORD flags);
using AddCatalogFn = CatalogInfo(WINAPI*)(CatalogAdmin admin, PWSTR catalogFile, PWSTR memberName, DWORD flags);
using ReleaseCatalogContextFn = BOOL(WINAPI*)(CatalogAdmin admin, CatalogInfo catalog, DWORD flags);
using RemoveCatalogFn = BOOL(WINAPI*)(CatalogAdmin admin, LPCWSTR memberName, DWORD flags);

constexpr wchar_t kLibraryName[] = L"Wintrust.dll";

// The full path of wintrust.dll, worked out on first use and kept for the
// life of the process; empty, with the error that left it so, when the system
// directory could not be had.
struct LibraryPath {
    std::wstring path;
    DWORD error = 0;
};

const LibraryPath& WintrustPath() {
    static const LibraryPath library = [] {
        LibraryPath worked;
        worked.path = utils::SystemLibraryPath(kLibraryName);
        if (worked.path.empty()) worked.error = ::GetLastError();
        return worked;
    }();
    return library;
}

HMODULE LoadWintrust() {
    const LibraryPath& library = WintrustPath();
    if (library.path.empty()) {
        ::SetLastError(library.error);
        return nullptr;
    }
    return utils::api::LoadLibraryW(library.path.c_str());
}

struct CatalogFunctions {
    AcquireContextFn acquireContext = nullptr;
    ReleaseContextFn releaseContext = nullptr;
    AddCatalogFn addCatalog = nullptr;
    ReleaseCatalogContextFn releaseCatalogContext = nullptr;
    RemoveCatalogFn removeCatalog = nullptr;

    bool Complete() const {
        return acquireContext && releaseContext && addCatalog && releaseCatalogContext && removeCatalog;
    }
};

template <class Fn>
Fn Procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(utils::api::GetProcAddress(module, name)));
}

// The exports of wintrust.dll, their calls routed through the platform seam.
CatalogFunctions LookUp(HMODULE module) {
    namespace fail = utils::fail;
    CatalogFunctions functions;
    functions.acquireContext =
        TARNEL_PLATFORM_PROCEDURE(CryptCATAdminAcquireContext, fail::False(ERROR_ACCESS_DENIED),
                                  Procedure<AcquireContextFn>(module, "CryptCATAdminAcquireContext"));
    functions.releaseContext =
        TARNEL_PLATFORM_PROCEDURE(CryptCATAdminReleaseContext, fail::False(ERROR_INVALID_PARAMETER),
                                  Procedure<ReleaseContextFn>(module, "CryptCATAdminReleaseContext"));
    functions.addCatalog = TARNEL_PLATFORM_PROCEDURE(CryptCATAdminAddCatalog, fail::Null(ERROR_ACCESS_DENIED),
                                                     Procedure<AddCatalogFn>(module, "CryptCATAdminAddCatalog"));
    functions.releaseCatalogContext = TARNEL_PLATFORM_PROCEDURE(
        CryptCATAdminReleaseCatalogContext, fail::False(ERROR_INVALID_PARAMETER),
        Procedure<ReleaseCatalogContextFn>(module, "CryptCATAdminReleaseCatalogContext"));
    functions.removeCatalog =
        TARNEL_PLATFORM_PROCEDURE(CryptCATAdminRemoveCatalog, fail::False(ERROR_ACCESS_DENIED),
                                  Procedure<RemoveCatalogFn>(module, "CryptCATAdminRemoveCatalog"));
    return functions;
}

// An acquired catalog administrator context, released when it goes out of
// scope (before the library that released it is freed).
class AdminContext {
public:
    AdminContext(CatalogAdmin admin, ReleaseContextFn release) : admin_(admin), release_(release) {}
    ~AdminContext() { release_(admin_, 0); }
    AdminContext(const AdminContext&) = delete;
    AdminContext& operator=(const AdminContext&) = delete;
    CatalogAdmin Get() const { return admin_; }

private:
    CatalogAdmin admin_;
    ReleaseContextFn release_;
};

void AddCatalog(SdkEventLog& log, const CatalogFunctions& functions, CatalogAdmin admin,
                const std::wstring& catalogPath, const std::wstring& memberName) {
    // The function takes writable strings but does not change them.
    std::wstring path = catalogPath;
    std::wstring member = memberName;
    const CatalogInfo catalog = functions.addCatalog(admin, path.data(), member.data(), 0);
    if (!catalog) {
        const DWORD error = ::GetLastError();
        LogMessageA(log, kLogError, "reg_cat. pfCryptCATAdminAddCatalog(0x%p, '%S', '%S', 0) failed, GetLastError()=%lu",
                    admin, catalogPath.c_str(), memberName.c_str(), error);
        return;
    }
    if (!functions.releaseCatalogContext(admin, catalog, 0)) {
        const DWORD error = ::GetLastError();
        LogMessageA(log, kLogError, "reg_cat. fCryptCATAdminReleaseCatalogContext failed, GetLastError()=%lu", error);
    }
}

void RemoveCatalog(SdkEventLog& log, const CatalogFunctions& functions, CatalogAdmin admin,
                   const std::wstring& memberName) {
    if (!functions.removeCatalog(admin, memberName.c_str(), 0)) {
        const DWORD error = ::GetLastError();
        LogMessageA(log, kLogError, "reg_cat. pfCryptCATAdminRemoveCatalog(0x%p, '%S', 0) failed, GetLastError()=%lu", admin,
                    memberName.c_str(), error);
    }
}

}  // namespace

void reg_cat(SdkEventLog& log, const std::wstring& catalogPath, const std::wstring& memberName, bool add) {
    const utils::ModuleHandle library(LoadWintrust());
    if (!library) {
        const DWORD error = ::GetLastError();
        LogMessageA(log, kLogError, "reg_cat. Error %lu loading '%S'", error, kLibraryName);
        return;
    }
    const CatalogFunctions functions = LookUp(library.Get());
    if (!functions.Complete()) {
        LogMessageA(log, kLogError, "reg_cat. Some of GetProcAddress() failed");
        return;
    }
    CatalogAdmin acquired = nullptr;
    if (!functions.acquireContext(&acquired, nullptr, 0)) {
        const DWORD error = ::GetLastError();
        LogMessageA(log, kLogError, "reg_cat. pfCryptCATAdminAcquireContext failed, GetLastError()=%lu", error);
        return;
    }
    const AdminContext admin(acquired, functions.releaseContext);
    if (add) {
        AddCatalog(log, functions, admin.Get(), catalogPath, memberName);
    } else {
        RemoveCatalog(log, functions, admin.Get(), memberName);
    }
}

}  // namespace network
