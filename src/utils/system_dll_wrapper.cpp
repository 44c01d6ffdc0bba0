#include "utils/system_dll_wrapper.h"

#include <sstream>
#include <stdexcept>

namespace utils {

std::unique_ptr<FltLibDllWrapper> fltLibDll;
std::unique_ptr<VersionDllWrapper> versionDll;

namespace {

// Library paths go into narrow exception texts unit by unit, low byte kept.
std::string LowBytes(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t unit : text) narrow.push_back(static_cast<char>(unit & 0xFF));
    return narrow;
}

// Without the system directory nothing is loaded: the text then names the
// file alone.
HMODULE LoadSystemLibrary(const std::wstring& fileName) {
    const std::wstring path = SystemLibraryPath(fileName);
    HMODULE module = path.empty() ? nullptr : api::LoadLibraryW(path.c_str());
    if (!module) {
        std::ostringstream text;
        text << "Error " << ::GetLastError() << " loading '" << LowBytes(path.empty() ? fileName : path) << "'";
        throw std::runtime_error(text.str());
    }
    return module;
}

}  // namespace

std::wstring SystemLibraryPath(const std::wstring& fileName) {
    wchar_t directory[MAX_PATH] = {};
    const UINT length = api::GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0) return {};
    if (length >= MAX_PATH) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return {};
    }
    return std::wstring(directory, length) + L"\\" + fileName;
}

SystemDllWrapper::SystemDllWrapper(const std::wstring& fileName) : module_(LoadSystemLibrary(fileName)) {}

FARPROC SystemDllWrapper::GetProcedure(const char* name) const {
    FARPROC address = api::GetProcAddress(module_.Get(), name);
    if (!address) {
        std::ostringstream text;
        text << "Error " << ::GetLastError() << " obtaining address of '" << name << "' procedure";
        throw std::runtime_error(text.str());
    }
    return address;
}

// The procedures' calls go through the platform seam, like the imported ones.
FltLibDllWrapper::FltLibDllWrapper()
    : SystemDllWrapper(L"fltLib.dll"),
      FilterUnload(TARNEL_PLATFORM_PROCEDURE(FilterUnload, fail::Result(E_ACCESSDENIED),
                                             GetProcedureAs<FilterUnloadFn>("FilterUnload"))) {}

VersionDllWrapper::VersionDllWrapper()
    : SystemDllWrapper(L"version.dll"),
      GetFileVersionInfoSizeExW(
          TARNEL_PLATFORM_PROCEDURE(GetFileVersionInfoSizeExW, fail::Value(0, ERROR_RESOURCE_TYPE_NOT_FOUND),
                                    GetProcedureAs<GetFileVersionInfoSizeExWFn>("GetFileVersionInfoSizeExW"))),
      GetFileVersionInfoExW(
          TARNEL_PLATFORM_PROCEDURE(GetFileVersionInfoExW, fail::False(ERROR_RESOURCE_TYPE_NOT_FOUND),
                                    GetProcedureAs<GetFileVersionInfoExWFn>("GetFileVersionInfoExW"))),
      VerQueryValueW(TARNEL_PLATFORM_PROCEDURE(VerQueryValueW, fail::False(ERROR_RESOURCE_TYPE_NOT_FOUND),
                                               GetProcedureAs<VerQueryValueWFn>("VerQueryValueW"))) {}

}  // namespace utils
