#include "app/self_service.h"

#include <system_error>

#include "services/service_control.h"
#include "utils/admin_only_security.h"
#include "utils/executable_path.h"
#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"

namespace app {
namespace {

// Polls in a row whose query may fail before the wait gives up (5 s). One
// failed query must not end the wait: the console would report a failure and
// delete the service while the install inside it goes on changing the machine.
constexpr int kFailedQueriesTolerated = 50;
// How long the service's process may take to end after the service reported
// its stop (it closes its log): its deletion waits for that, since a process
// that still runs keeps the service from going, and the next install would
// meet it "marked for deletion" or fail to start it anew.
constexpr DWORD kProcessEndBoundMs = 10000;
// Tries at the service's deletion after its run, 100 ms apart.
constexpr int kDeleteAttempts = 3;

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
    // Waits, within the bound, for the process whose handle was taken; a
    // failed wait or one that runs out ends it just the same.
    void AwaitEnd() {
        if (process_) utils::api::WaitForSingleObject(process_.Get(), kProcessEndBoundMs);
    }

private:
    utils::KernelHandle process_;
};

// Whether the service is starting, running or stopping. One that is only
// starting belongs to another console whose install has just begun: taking
// it for a stale one and deleting it would pull the service away under that
// install.
bool IsSelfServiceActive(SdkEventLog& log, const std::wstring& name) {
    const std::uint32_t state = services::LoggedServiceState(log, name);
    return state != 0 && state != SERVICE_STOPPED;
}

// Starts the service and waits for it to stop; `started` tells whether the
// start succeeded.
ostra::ResultCode StartAndWait(SdkEventLog& log, const std::wstring& name, const std::wstring& argument,
                               bool& started) {
    started = false;
    LogMessage(log, kLogProgress, L"Starting Tarnel-service '%s' and waiting for its completion", name.c_str());
    if (const auto error = services::StartServiceWithArgument(log, name, argument); error != 0) return error;
    started = true;
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
    process.AwaitEnd();
    LogMessage(log, kLogProgress,
               L"Execution of Tarnel-service '%s' has been completed. ExitCode: 0x%08x ServiceExitCode: 0x%08x",
               name.c_str(), exitCodes.win32ExitCode, exitCodes.serviceSpecificExitCode);
    return exitCodes.win32ExitCode != 0 ? exitCodes.win32ExitCode : exitCodes.serviceSpecificExitCode;
}

constexpr wchar_t kOtherInstallation[] = L"Tarnel-service already running. Other installation seems to be in progress";

// Serialises the installs of consoles, from the check for a running service
// to the service's deletion. The service name alone cannot: a console that
// meets another one's service between its creation and its start takes it
// for a leftover and deletes it, and the other console then loses its
// install's result although the install went on. The lock is taken without
// waiting: a console that finds it held is turned away. A lock made by
// someone who keeps this process out of it (another user's object that
// cannot be opened) leaves the service name as the only guard, as does a
// failure to wait for it.
class InstallLock {
public:
    InstallLock() {
        try {
            utils::AdminOnlySecurity security(MUTEX_ALL_ACCESS);
            mutex_.Reset(utils::api::CreateMutexA(security.Attributes(), FALSE, "Global\\Tarnel-Install"));
        } catch (const std::system_error&) {
            return;
        }
        if (!mutex_) return;
        const DWORD wait = utils::api::WaitForSingleObject(mutex_.Get(), 0);
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        heldElsewhere_ = wait == WAIT_TIMEOUT;
    }
    ~InstallLock() {
        if (owned_) utils::api::ReleaseMutex(mutex_.Get());
    }
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

    bool HeldElsewhere() const { return heldElsewhere_; }

private:
    utils::KernelHandle mutex_;
    bool owned_ = false;
    bool heldElsewhere_ = false;
};

// Deletes the service after its run; a failed deletion is tried again. The
// run's result does not depend on it, but a service left behind is one that
// runs as LocalSystem whatever its image path names, in a setup's folder that
// may not stay the installer's. Gone, or marked for deletion, is enough.
void DeleteSelfServiceAfterRun(SdkEventLog& log) {
    for (int attempt = 1;; ++attempt) {
        const auto error = services::DeleteServiceByName(log, kSelfServiceName);
        if (error == 0 || error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_MARKED_FOR_DELETE ||
            attempt == kDeleteAttempts) {
            return;
        }
        utils::api::Sleep(100);
    }
}

}  // namespace

ostra::ResultCode CreateSelfService(SdkEventLog& log, const std::wstring& name, bool verbose) {
    bool found = false;
    if (const auto error = services::CheckIsServiceFound(log, name, found); error != 0) return error;
    if (found) {
        // Only a stopped leftover is deleted: one that is starting or running
        // belongs to another console's install.
        if (IsSelfServiceActive(log, name)) {
            LogMessage(log, kLogError, kOtherInstallation);
            return ERROR_SERVICE_ALREADY_RUNNING;
        }
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
    bool started = false;
    return StartAndWait(log, name, argument, started);
}

// Where the install lock is no guard (see InstallLock), two consoles can
// still meet between one's creation of the service and its start: the other
// deletes and creates it anew. Whoever then finds the service running at its
// start, or gone, has met the other's install and leaves the service to it:
// deleting it would take it away under that install, which goes on changing
// the machine.
ostra::ResultCode RunThroughSelfService(SdkEventLog& log, const std::wstring& argument, bool verbose) {
    const InstallLock lock;
    if (lock.HeldElsewhere() || IsSelfServiceActive(log, kSelfServiceName)) {
        LogMessage(log, kLogError, kOtherInstallation);
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    if (const auto error = CreateSelfService(log, kSelfServiceName, verbose); error != 0) return error;
    bool started = false;
    const ostra::ResultCode result = StartAndWait(log, kSelfServiceName, argument, started);
    if (!started && result == ERROR_SERVICE_ALREADY_RUNNING) {
        LogMessage(log, kLogError, kOtherInstallation);
        return result;
    }
    if (result == ERROR_SERVICE_DOES_NOT_EXIST) return result;
    DeleteSelfServiceAfterRun(log);
    return result;
}

}  // namespace app
