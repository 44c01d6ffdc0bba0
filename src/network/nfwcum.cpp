#include "network/nfwcum.h"

#include <atomic>
#include <cstdint>

#include "utils/executable_path.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/profile_api.h"
#include "utils/platform/shell_api.h"
#include "utils/unique_handle.h"

namespace network {
namespace {

constexpr wchar_t kIniFileName[] = L"tarnel.ini";
constexpr wchar_t kGeneralSection[] = L"General";
constexpr wchar_t kLibraryKey[] = L"SOFTWARE\\OrvantaLab\\sdk\\QPX8\\NFWCUM";

// The library's progress output: a value it passes first (not used) and a line of text.
using OutputCallback = void(WINAPI*)(DWORD unused, const char* text);
using InitializeFn = void(WINAPI*)(HKEY root, const wchar_t* keyPath, OutputCallback output);
using ReloadFn = void(WINAPI*)(const wchar_t* settingsPath);
using DeinitializeFn = void(WINAPI*)(OutputCallback output);

// The log of the action that runs now, for the library's output callback;
// empty between actions, so that output arriving then is dropped rather than
// written to a log that may be gone.
constinit std::atomic<SdkEventLog*> currentActionLog{nullptr};

void WINAPI WriteLibraryOutput(DWORD, const char* text) {
    SdkEventLog* log = currentActionLog.load();
    if (!log) return;
    LogMessageA(*log, kLogDetail, "NFWCUM output: %s", text ? text : "");
}

// Sets the action's log for the callback and takes it away when the action ends.
class ActionLog {
public:
    explicit ActionLog(SdkEventLog& log) { currentActionLog.store(&log); }
    ~ActionLog() { currentActionLog.store(nullptr); }
    ActionLog(const ActionLog&) = delete;
    ActionLog& operator=(const ActionLog&) = delete;
};

// Loads the library with its own folder as the current directory, which is
// put back at once, whether the load worked or not. Logs the outcome.
utils::ModuleHandle LoadLibraryFromItsFolder(SdkEventLog& log, const std::wstring& libraryPath) {
    wchar_t saved[MAX_PATH] = {};
    const DWORD savedLength = utils::api::GetCurrentDirectoryW(MAX_PATH, saved);
    // Without the current directory in hand it is left as it is: it could not be put back.
    const bool changeDirectory = savedLength != 0 && savedLength < MAX_PATH;
    if (changeDirectory) {
        const wchar_t* fileName = utils::api::PathFindFileNameW(libraryPath.c_str());
        const std::wstring folder(libraryPath.c_str(), fileName);
        utils::api::SetCurrentDirectoryW(folder.c_str());
    }
    LogMessage(log, kLogDetail, L"Loading '%s'...", libraryPath.c_str());
    utils::ModuleHandle library(utils::api::LoadLibraryW(libraryPath.c_str()));
    const DWORD loadError = ::GetLastError();
    if (changeDirectory) utils::api::SetCurrentDirectoryW(saved);
    if (!library) {
        LogMessage(log, kLogDetail, L"Can't load NFWCUM.dll: %08x", loadError);
        return library;
    }
    LogMessage(log, kLogDetail, L"hNfwcum: 0x%08x",
               static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(library.Get()) & 0xFFFFFFFFu));
    LogText(log, L"Getting function addresses...");
    return library;
}

template <class Fn>
Fn Export(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(utils::api::GetProcAddress(library, name)));
}

}  // namespace

std::wstring ReadGeneralIniValue(const wchar_t* key) {
    std::wstring iniPath = utils::ExecutablePath();
    if (iniPath.empty()) return {};
    iniPath.resize(iniPath.find_last_of(L'\\') + 1);
    iniPath += kIniFileName;
    wchar_t value[MAX_PATH] = {};
    utils::api::GetPrivateProfileStringW(kGeneralSection, key, L"", value, MAX_PATH, iniPath.c_str());
    return value;
}

bool ReadNfwcumLocation(SdkEventLog& log, std::wstring& libraryPath) {
    libraryPath = ReadGeneralIniValue(L"NfwcumDll");
    LogText(log, L"Reading NFWCUM.dll location...");
    LogMessage(log, kLogDetail, L"NfwcumModuleName: '%s'", libraryPath.c_str());
    return !libraryPath.empty();
}

void RunNfwcumInstallActions(SdkEventLog& log, const std::wstring& libraryPath, const std::wstring& settingsPath) {
    const ActionLog actionLog(log);
    const utils::ModuleHandle library = LoadLibraryFromItsFolder(log, libraryPath);
    if (!library) return;
    const auto initialize = Export<InitializeFn>(library.Get(), "NFWCUM_Initialize");
    const auto reload = Export<ReloadFn>(library.Get(), "NFWCUM_Reload");
    const auto deinitialize = Export<DeinitializeFn>(library.Get(), "NFWCUM_Deinitialize");
    if (!initialize || !reload || !deinitialize) {
        LogMessageA(log, kLogDetail, "Can't get NFWCUM.dll functions addresses: %08x", ::GetLastError());
        return;
    }
    LogText(log, L"Running actions...");
    initialize(HKEY_LOCAL_MACHINE, kLibraryKey, &WriteLibraryOutput);
    reload(settingsPath.c_str());
    deinitialize(&WriteLibraryOutput);
}

void RunNfwcumUninstallActions(SdkEventLog& log, const std::wstring& libraryPath) {
    const ActionLog actionLog(log);
    const utils::ModuleHandle library = LoadLibraryFromItsFolder(log, libraryPath);
    if (!library) return;
    const auto initialize = Export<InitializeFn>(library.Get(), "NFWCUM_Initialize");
    const bool hasUninstall = Export<FARPROC>(library.Get(), "NFWCUM_Uninstall") != nullptr;
    const auto deinitialize = Export<DeinitializeFn>(library.Get(), "NFWCUM_Deinitialize");
    if (!initialize || !hasUninstall || !deinitialize) {
        LogMessage(log, kLogDetail, L"Can't get NFWCUM.dll functions addresses: %08x", ::GetLastError());
        return;
    }
    LogText(log, L"Running actions...");
    initialize(HKEY_LOCAL_MACHINE, kLibraryKey, &WriteLibraryOutput);
    deinitialize(&WriteLibraryOutput);
}

}  // namespace network
