#include "app/driver_runs.h"

#include <vector>

#include "app/command_line.h"
#include "app/self_service.h"
#include "describe/driver_description.h"
#include "describe/driver_list_log.h"
#include "engine/driver_unload_table.h"
#include "engine/install_run.h"
#include "engine/legacy_keys.h"
#include "utils/windows_version.h"

namespace app {
namespace {

// One description per name, in list order; false as soon as a driver is not
// described for this system.
bool LoadDescriptions(SdkEventLog& log, const describe::DriverList& names,
                      std::vector<describe::DriverDescription>& records) {
    for (const std::wstring& name : names) {
        describe::DriverDescription record;
        if (!describe::LoadDriverDescription(log, name, record)) return false;
        records.push_back(std::move(record));
    }
    return true;
}

// The descriptions of every driver of the product, for the removal runs.
ostra::ResultCode LoadUninstallDescriptions(SdkEventLog& log, std::vector<describe::DriverDescription>& records) {
    describe::DriverList names;
    if (const auto r = describe::BuildUninstallDriverList(log, utils::RunningWindowsRelease(), names); r != 0) {
        return r;
    }
    if (!LoadDescriptions(log, names, records)) {
        LogMessage(log, kLogError, L"Uninstallation information is undefined for current OS and driver.");
        return ostra::kInvalidArgument;
    }
    return ostra::kOk;
}

// Under the install lock like an install: another console's service met in
// between is left to it, not deleted.
ostra::ResultCode CleanupLegacyKeysThroughSelfService(SdkEventLog& log, bool verbose) {
    return RunThroughSelfService(log, verbose ? L"--cleanup_legacy_keys --verbose" : L"--cleanup_legacy_keys",
                                 verbose);
}

}  // namespace

ostra::ResultCode InstallRun(SdkEventLog& log, const std::wstring& commandLine) {
    const bool noReboot = HasArgument(commandLine, L"--no_reboot");
    LogMessage(log, kLogProgress, L"Install drivers with %sOS reboot", noReboot ? L"no " : L"");
    std::wstring vxtraplibDir;
    if (utils::IsX64Processor()) {
        if (const auto r = ParseVxtraplibDir(log, commandLine, vxtraplibDir); r != ostra::kOk) return r;
    }
    FeatureList features;
    if (const auto r = ParseFeatureList(log, commandLine, features); r != ostra::kOk) return r;
    if (!ValidateFeatureList(log, features)) return ostra::kInvalidArgument;
    const describe::DriverList names = describe::BuildDriverList(false, features, utils::RunningWindowsRelease());
    describe::LogDriverList(log, names);

    std::vector<describe::DriverDescription> records;
    if (!LoadDescriptions(log, names, records)) {
        LogMessage(log, kLogProgress, L"Installation information is undefined for current OS and driver.");
        return ostra::kInvalidArgument;
    }
    return engine::InstallDrivers(log, records, vxtraplibDir, noReboot);
}

ostra::ResultCode UninstallRun(SdkEventLog& log, bool verbose) {
    std::vector<describe::DriverDescription> records;
    if (const auto r = LoadUninstallDescriptions(log, records); r != ostra::kOk) return r;
    engine::UnloadDrivers(log, records);
    const ostra::ResultCode removal = engine::UninstallDrivers(log, records);
    if (!utils::IsLegacyWindows()) return removal;
    // A removal that failed stays failed, whatever the clean-up gives.
    const ostra::ResultCode cleanup = CleanupLegacyKeysThroughSelfService(log, verbose);
    return removal != ostra::kOk ? removal : cleanup;
}

ostra::ResultCode CleanupLegacyKeysRun(SdkEventLog& log) {
    LogMessage(log, kLogProgress, L"Cleaning up legacy keys in Enum\\Root");
    std::vector<describe::DriverDescription> records;
    if (const auto r = LoadUninstallDescriptions(log, records); r != ostra::kOk) return r;
    return engine::CleanupLegacyKeys(log, records);
}

}  // namespace app
