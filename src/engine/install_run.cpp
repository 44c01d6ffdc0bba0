#include "engine/install_run.h"

#include "engine/driver_unload_table.h"
#include "engine/install_actions.h"
#include "engine/temporary_service.h"
#include "ostra/platform_error.h"
#include "services/delete_flags.h"
#include "services/driver_unload.h"
#include "services/service_control.h"

namespace engine {
namespace {

bool ExemptFromDeletionCheck(const std::wstring& serviceName) {
    return serviceName == L"vxtrap" || serviceName == L"vxaux" || serviceName == L"vxpkt";
}

}  // namespace

std::uint32_t VerifyDeletedDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers) {
    LogMessage(log, kLogProgress, L"Start system verify for driver deleted");
    for (const describe::DriverDescription& driver : drivers) {
        const std::wstring& service = driver.ServiceName;
        if (ExemptFromDeletionCheck(service)) {
            LogMessage(log, kLogProgress, L"Skip service '%s' mark for deletion checking", service.c_str());
            continue;
        }
        bool found = false;
        if (const std::uint32_t r = services::CheckIsServiceFound(log, service, found); r != 0) return r;
        if (!found) {
            LogMessage(log, kLogProgress, L"Service '%s' not registered", service.c_str());
            continue;
        }
        bool flag = false;
        if (const std::uint32_t r = services::GetServiceDeleteFlag(service, flag); r != 0) {
            LogMessage(log, kLogError, L"Error checking service '%s' delete flag: 0x%08X", service.c_str(), r);
            return r;
        }
        if (!flag) {
            LogMessage(log, kLogError, L"Service '%s' has no delete flag", service.c_str());
            return ostra::kServiceNotMarkedForDeletion;
        }
        LogMessage(log, kLogProgress, L"Service '%s' has delete flag", service.c_str());
    }
    return 0;
}

std::uint32_t InstallDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers,
                             const std::wstring& vxtraplibDir, bool noReboot) {
    if (const std::uint32_t r = VerifyDeletedDrivers(log, drivers); r != 0) return r;
    if (const std::uint32_t r = UnloadDrivers(log, drivers); r != 0) {
        if (noReboot) return r;
        LogMessage(log, kLogWarning, L"Some drivers failed to unload. Continue installation and reboot.");
    }
    return InstallAll(log, drivers, vxtraplibDir, noReboot);
}

std::uint32_t InstallAll(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers,
                         const std::wstring& vxtraplibDir, bool noReboot) {
    std::uint32_t accumulated = kAllRunning;
    // Every step of the run is recorded here as it begins; the record rolls
    // back on every way out unless committed.
    ResponsibilityTransfer transfer(log);
    for (const describe::DriverDescription& driver : drivers) {
        transfer.BeginInstall(driver);
        const std::uint32_t r = InstallActions(log, true, driver, vxtraplibDir, noReboot);
        if (r != 0 && r != ostra::kDriverRunning) return r;
        const bool enable = noReboot && (r == 0 || driver.ServiceName == L"vxmon");
        if (enable) {
            if (const std::uint32_t enabled = EnableWithoutReboot(log, driver, transfer); enabled != 0) return enabled;
        } else if (r == 0) {
            accumulated = 0;
        }
    }
    transfer.Commit();
    transfer.Complete();
    return accumulated;
}

std::uint32_t EnableWithoutReboot(SdkEventLog& log, const describe::DriverDescription& driver,
                                  ResponsibilityTransfer& transfer) {
    std::wstring name;
    if (!InstallTemporaryService(log, driver, driver.Folder + driver.InfFile, name)) return ostra::kInstallFailure;
    if (driver.ServiceName == L"vxvault") return 0;
    try {
        transfer.AddEnabledDevice(name, services::OpenDriverDevice(name));
    } catch (const PlatformError& error) {
        LogMessageA(log, kLogError, "Failed to open driver %S: 0x%08X - %s", name.c_str(), PlatformErrorCode(error),
                    error.what());
        return PlatformErrorCode(error);
    }
    LogMessage(log, kLogProgress, L"Driver %s is enabled", name.c_str());
    return 0;
}

std::uint32_t UninstallDriver(SdkEventLog& log, const describe::DriverDescription& driver) {
    return InstallActions(log, false, driver, L"", false);
}

std::uint32_t UninstallDrivers(SdkEventLog& log, const std::vector<describe::DriverDescription>& drivers) {
    std::uint32_t result = 0;
    for (auto driver = drivers.rbegin(); driver != drivers.rend(); ++driver) {
        const std::uint32_t r = UninstallDriver(log, *driver);
        if (r != 0 && r != ERROR_SERVICE_DOES_NOT_EXIST) result = r;
    }
    return result;
}

}  // namespace engine
