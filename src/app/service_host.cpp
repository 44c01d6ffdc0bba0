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
// What the main thread gives ServiceMain to close its log once the service
// has stopped, should the event never come.
constexpr DWORD kCompletionBoundMs = 30000;

void WINAPI IgnoreControl(DWORD) {}

bool ReportStatus(SERVICE_STATUS_HANDLE status, DWORD state, DWORD win32ExitCode, DWORD serviceExitCode) {
    SERVICE_STATUS report{};
    report.dwServiceType = SERVICE_WIN32;
    report.dwCurrentState = state;
    report.dwControlsAccepted = 0;
    report.dwWin32ExitCode = win32ExitCode;
    report.dwServiceSpecificExitCode = serviceExitCode;
    return utils::api::SetServiceStatus(status, &report) != FALSE;
}

// The service's last report. When even that fails, the Service Control
// Manager would hold the service as running for good, the console waiting
// for it and every later install refused: the process then ends once the
// log is closed, and the manager takes the service as stopped.
class FinalReport {
public:
    explicit FinalReport(SERVICE_STATUS_HANDLE status) : status_(status) {}
    void Stopped(DWORD win32ExitCode, DWORD serviceExitCode) {
        reported_ = ReportStatus(status_, SERVICE_STOPPED, win32ExitCode, serviceExitCode);
        exitCode_ = win32ExitCode != 0 ? win32ExitCode : serviceExitCode;
    }
    bool Reported() const { return reported_; }
    DWORD ExitCode() const { return exitCode_; }

private:
    SERVICE_STATUS_HANDLE status_;
    bool reported_ = false;
    DWORD exitCode_ = 0;
};

// Sets the completion event on every way out of ServiceMain, once the log is
// closed. When the event cannot be set, the process ends here: the main
// thread would wait out its bound, and all that time the process would keep
// its service from being deleted and a later install from starting it.
class CompletionSignal {
public:
    explicit CompletionSignal(const FinalReport& report) : report_(report) {}
    ~CompletionSignal() {
        if (completionEvent && !utils::api::SetEvent(completionEvent)) utils::api::ExitProcess(report_.ExitCode());
    }
    CompletionSignal(const CompletionSignal&) = delete;
    CompletionSignal& operator=(const CompletionSignal&) = delete;

private:
    const FinalReport& report_;
};

// The command of the start argument; the result as the service's exit codes.
void RunServiceCommand(FinalReport& report, const std::wstring& commandLine) {
    LogPtr log = CreateLog(InstallerLogSettings(HasArgument(commandLine, L"--verbose")));
    if (!log) {
        report.Stopped(ERROR_OPEN_FAILED, 0);
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
                    report.Stopped(0, engine::kAllRunning);
                    if (!report.Reported()) LogMessage(*log, kLogError, L"Failed to report the service's stop");
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
    report.Stopped(result, 0);
    if (!report.Reported()) LogMessage(*log, kLogError, L"Failed to report the service's stop");
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    SERVICE_STATUS_HANDLE status = utils::api::RegisterServiceCtrlHandlerW(kSelfServiceName, IgnoreControl);
    ReportStatus(status, SERVICE_RUNNING, 0, 0);
    FinalReport report(status);
    {
        CompletionSignal signal(report);
        if (argc < 2) {
            report.Stopped(ostra::kInvalidArgument, 0);
        } else {
            RunServiceCommand(report, argv[1]);
        }
    }
    if (!report.Reported()) utils::api::ExitProcess(report.ExitCode());
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
        // The dispatcher returns once the service has reported its stop; what
        // is left of ServiceMain is closing its log.
        utils::api::WaitForSingleObject(event.Get(), kCompletionBoundMs);
    }
    // Not started by the Service Control Manager: nothing will set the event.
    completionEvent = nullptr;
}

}  // namespace app
