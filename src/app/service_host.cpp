#include "app/service_host.h"

#include <exception>
#include <string>

#include "app/command_line.h"
#include "app/driver_runs.h"
#include "app/self_service.h"
#include "engine/install_run.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/service_api.h"
#include "utils/unique_handle.h"

namespace app {
namespace {

// Set by ServiceMain as its very last step; the main thread waits on it so
// that the process lives until the service's log is closed.
HANDLE completionEvent = nullptr;

void WINAPI IgnoreControl(DWORD) {}

void ReportStatus(SERVICE_STATUS_HANDLE status, DWORD state, DWORD win32ExitCode, DWORD serviceExitCode) {
    SERVICE_STATUS report{};
    report.dwServiceType = SERVICE_WIN32;
    report.dwCurrentState = state;
    report.dwControlsAccepted = 0;
    report.dwWin32ExitCode = win32ExitCode;
    report.dwServiceSpecificExitCode = serviceExitCode;
    utils::api::SetServiceStatus(status, &report);
}

// Sets the completion event on every way out of ServiceMain.
struct CompletionSignal {
    ~CompletionSignal() {
        if (completionEvent) utils::api::SetEvent(completionEvent);
    }
};

// The command of the start argument; the result as the service's exit codes.
void RunServiceCommand(SERVICE_STATUS_HANDLE status, const std::wstring& commandLine) {
    LogPtr log = CreateLog(InstallerLogSettings(HasArgument(commandLine, L"--verbose")));
    if (!log) {
        ReportStatus(status, SERVICE_STOPPED, ERROR_OPEN_FAILED, 0);
        return;
    }
    LogMessageA(*log, kLogProgress, "Tarnel service started. Command line: '%S'", commandLine.c_str());

    ostra::ResultCode result = ostra::kOk;
    try {
        Command command;
        result = ParseCommand(*log, commandLine, command);
        if (result == ostra::kOk) {
            switch (command) {
            case Command::InstallCommand:
                result = InstallRun(*log, commandLine);
                if (result == engine::kAllRunning) {
                    // In effect now: told apart from a failure by the service-specific code.
                    ReportStatus(status, SERVICE_STOPPED, 0, engine::kAllRunning);
                    return;
                }
                break;
            case Command::CleanupLegacyKeysCommand:
                result = CleanupLegacyKeysRun(*log);
                break;
            case Command::UninstallCommand:
            case Command::CleanupCommand:
                LogMessage(*log, kLogError, L"Got not implemented request");
                result = ostra::kNotImplemented;
                break;
            }
        }
    } catch (const std::exception& error) {
        // Nothing below the run catches this: the service still stops with a failure.
        LogMessageA(*log, kLogError, "%s", error.what());
        result = ostra::kUnexpected;
    }
    ReportStatus(status, SERVICE_STOPPED, result, 0);
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    SERVICE_STATUS_HANDLE status = utils::api::RegisterServiceCtrlHandlerW(kSelfServiceName, IgnoreControl);
    ReportStatus(status, SERVICE_RUNNING, 0, 0);
    CompletionSignal signal;
    if (argc < 2) {
        ReportStatus(status, SERVICE_STOPPED, ostra::kInvalidArgument, 0);
        return;
    }
    RunServiceCommand(status, argv[1]);
}

}  // namespace

void RunServiceHost(SdkEventLog& log) {
    LogMessage(log, kLogProgress, L"Tarnel is started as service");
    LogMessage(log, kLogProgress, L"Service is starting");
    utils::KernelHandle event(utils::api::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return;
    completionEvent = event.Get();

    wchar_t name[] = L"Tarnel";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (utils::api::StartServiceCtrlDispatcherW(table)) {
        utils::api::WaitForSingleObject(event.Get(), INFINITE);
    }
    // Not started by the Service Control Manager: nothing will set the event.
    completionEvent = nullptr;
}

}  // namespace app
