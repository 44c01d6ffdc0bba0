#include "app/entry.h"

#include <exception>

#include "app/command_line.h"
#include "app/console_run.h"
#include "app/fault_run.h"
#include "app/service_host.h"
#include "log/event_log.h"
#include "utils/executable_path.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/shell_api.h"
#include "utils/system_dll_wrapper.h"

namespace app {
namespace {

constexpr wchar_t kVerboseOption[] = L"--verbose";
constexpr wchar_t kRunAsServiceOption[] = L"--run_as_service";

// Libraries are looked for in the system directory only, and never in the
// current directory.
bool HardenLibrarySearch() {
    return utils::api::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) &&
           utils::api::SetDllDirectoryW(L"");
}

// Relative paths (the log file, the ini file) resolve beside the executable.
// False when that folder cannot be entered: the process would otherwise go on
// in the folder it was started from, which its caller chose.
bool EnterExecutableFolder() {
    std::wstring path = utils::ExecutablePath();
    if (path.empty()) return false;
    path.resize(static_cast<std::size_t>(utils::api::PathFindFileNameW(path.c_str()) - path.c_str()));
    return utils::api::SetCurrentDirectoryW(path.c_str());
}

template <class Wrapper>
bool CreateWrapper(SdkEventLog& log, std::unique_ptr<Wrapper>& instance, const char* failureFormat) {
    try {
        instance = std::make_unique<Wrapper>();
        return true;
    } catch (const std::exception& error) {
        LogMessageA(log, kLogError, failureFormat, error.what());
        return false;
    }
}

void LogCurrentDirectory(SdkEventLog& log) {
    wchar_t directory[MAX_PATH] = L"Not defined";
    utils::api::GetCurrentDirectoryW(MAX_PATH, directory);
    LogMessage(log, kLogProgress, L"Current directory: '%s'", directory);
}

}  // namespace

ostra::ResultCode RunInstaller(const std::wstring& commandLine) {
    utils::api::SetErrorMode(SEM_FAILCRITICALERRORS);
    if (!HardenLibrarySearch() || !EnterExecutableFolder()) return ostra::kFail;

    const bool verbose = HasArgument(commandLine, kVerboseOption);
    LogPtr log = CreateLog(InstallerLogSettings(verbose));
    if (!log) return ostra::kUnexpected;
    const FaultReport faultReport(*log);
    LogMessageA(*log, kLogProgress, "Tarnel started. Command line: '%S'", commandLine.c_str());

    if (!CreateWrapper(*log, utils::fltLibDll, "Error creating FltLibDllWrapper: %s") ||
        !CreateWrapper(*log, utils::versionDll, "Error creating VersionDllWrapper: %s")) {
        return ostra::kUnexpected;
    }

    const bool serviceMode = HasArgument(commandLine, kRunAsServiceOption);
    LogMessage(*log, kLogProgress, L"Version %d.%d.%d.%d %s", TARNEL_VERSION_MAJOR, TARNEL_VERSION_MINOR,
               TARNEL_VERSION_PATCH, TARNEL_VERSION_BUILD, L"x64");
    LogCurrentDirectory(*log);

    if (serviceMode) {
        RunServiceHost(*log);
        return ostra::kOk;
    }
    LogMessage(*log, kLogProgress, L"Tarnel is started as console application");
    return RunConsole(*log, commandLine, verbose);
}

}  // namespace app
