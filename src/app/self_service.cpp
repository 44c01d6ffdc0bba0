#include "app/self_service.h"

#include "services/service_control.h"
#include "utils/executable_path.h"
#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"

namespace app {
namespace {

// Polls in a row whose query may fail before the wait gives up (5 s). One
// failed query must not end the wait: the console would report a failure and
// delete the service while the install inside it goes on changing the machine.
constexpr int kFailedQueriesTolerated = 50;

// The process the service runs in, held while the service is waited for. A
// process that ends without reporting the service's stop (it crashed, or its
// last report failed) would leave a Service Control Manager that does not
// notice it (Wine's) showing the service as running for good.
class ServiceProcess {
public:
    // True when the process of `processId` has ended; the first call with a
    // process id takes the process's handle.
    bool Ended(std::uint32_t processId) {
        if (!process_ && processId != 0) {
            process_.Reset(utils::api::OpenProcess(SYNCHRONIZE, FALSE, processId));
        }
        return process_ && utils::api::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0;
    }

private:
    utils::KernelHandle process_;
};

}  // namespace

ostra::ResultCode CreateSelfService(SdkEventLog& log, const std::wstring& name, bool verbose) {
    bool found = false;
    if (const auto error = services::CheckIsServiceFound(log, name, found); error != 0) return error;
    if (found) {
        if (const auto error = services::DeleteServiceByName(log, name); error != 0) return error;
    }
    const std::wstring path = utils::ExecutablePath();
    if (path.empty()) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogError, L"Failed to get executable path: 0x%08x", error);
        return error;
    }
    const std::wstring arguments = verbose ? L"--run_as_service --verbose" : L"--run_as_service";
    return services::CreateDemandStartService(log, name, L"\"" + path + L"\"", arguments);
}

ostra::ResultCode RunSelfServiceAndWait(SdkEventLog& log, const std::wstring& name, const std::wstring& argument) {
    LogMessage(log, kLogProgress, L"Starting Tarnel-service '%s' and waiting for its completion", name.c_str());
    if (const auto error = services::StartServiceWithArgument(log, name, argument); error != 0) return error;
    std::uint32_t state = 0;
    services::SelfServiceExitCodes exitCodes;
    int failedInARow = 0;
    ServiceProcess process;
    bool processEnded = false;
    do {
        if (const auto error = services::QueryServiceState(log, name, state, exitCodes); error == 0) {
            failedInARow = 0;
            // Its state is asked once more after its process ended: a stop
            // reported just before the end still counts.
            if (state != SERVICE_STOPPED && processEnded) {
                LogMessage(log, kLogError, L"Tarnel-service '%s' ended without reporting its stop", name.c_str());
                return ERROR_PROCESS_ABORTED;
            }
            if (state != SERVICE_STOPPED) processEnded = process.Ended(exitCodes.processId);
        } else if (++failedInARow == kFailedQueriesTolerated) {
            return error;
        }
        utils::api::Sleep(100);
    } while (failedInARow != 0 || state != SERVICE_STOPPED);
    LogMessage(log, kLogProgress,
               L"Execution of Tarnel-service '%s' has been completed. ExitCode: 0x%08x ServiceExitCode: 0x%08x",
               name.c_str(), exitCodes.win32ExitCode, exitCodes.serviceSpecificExitCode);
    return exitCodes.win32ExitCode != 0 ? exitCodes.win32ExitCode : exitCodes.serviceSpecificExitCode;
}

ostra::ResultCode InstallThroughSelfService(SdkEventLog& log, const std::wstring& commandLine, bool verbose) {
    if (services::IsServiceRunning(log, kSelfServiceName)) {
        LogMessage(log, kLogError, L"Tarnel-service already running. Other installation seems to be in progress");
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    if (const auto error = CreateSelfService(log, kSelfServiceName, verbose); error != 0) return error;
    const ostra::ResultCode result = RunSelfServiceAndWait(log, kSelfServiceName, commandLine);
    services::DeleteServiceByName(log, kSelfServiceName);
    return result;
}

}  // namespace app
