#pragma once
// Owners of the system libraries that the installer loads at run time rather
// than importing: always by full path in the system directory, so that a DLL
// of the same name planted beside the executable or in the current directory
// is never taken.

#include <memory>
#include <string>

#include "ostra/exceptions.h"
#include "utils/platform/windows_headers.h"
#include "utils/unique_handle.h"

namespace utils {

// The system directory, a backslash and `fileName`. Empty when the system
// directory cannot be had or does not fit in MAX_PATH characters (the last
// error says why): a path without it would name a file at the root of the
// current drive.
std::wstring SystemLibraryPath(const std::wstring& fileName);

class SystemDllWrapper : public ostra::NonCopyable {
public:
    explicit SystemDllWrapper(const std::wstring& fileName);  // throws std::runtime_error
    virtual ~SystemDllWrapper() = default;

protected:
    FARPROC GetProcedure(const char* name) const;  // throws std::runtime_error

    template <class Fn>
    Fn GetProcedureAs(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcedure(name)));
    }

private:
    ModuleHandle module_;
};

class FltLibDllWrapper : public SystemDllWrapper {
public:
    using FilterUnloadFn = HRESULT(WINAPI*)(LPCWSTR filterName);

    FltLibDllWrapper();
    FilterUnloadFn FilterUnload;
};

class VersionDllWrapper : public SystemDllWrapper {
public:
    using GetFileVersionInfoSizeExWFn = DWORD(WINAPI*)(DWORD flags, LPCWSTR fileName, LPDWORD handle);
    using GetFileVersionInfoExWFn = BOOL(WINAPI*)(DWORD flags, LPCWSTR fileName, DWORD handle, DWORD size,
                                                  LPVOID data);
    using VerQueryValueWFn = BOOL(WINAPI*)(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);

    VersionDllWrapper();
    GetFileVersionInfoSizeExWFn GetFileVersionInfoSizeExW;
    GetFileVersionInfoExWFn GetFileVersionInfoExW;
    VerQueryValueWFn VerQueryValueW;
};

// The process-wide instances, filled at start-up and released at process exit.
extern std::unique_ptr<FltLibDllWrapper> fltLibDll;
extern std::unique_ptr<VersionDllWrapper> versionDll;

}  // namespace utils
