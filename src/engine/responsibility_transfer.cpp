#include "engine/responsibility_transfer.h"

#include <exception>
#include <utility>

#include "engine/driver_unload_table.h"
#include "engine/install_run.h"
#include "services/driver_unload.h"

namespace engine {

void ResponsibilityTransfer::BeginInstall(const describe::DriverDescription& driver) {
    steps_.push_back({StepKind::InstallActions, driver, {}, {}});
}

void ResponsibilityTransfer::AddEnabledDevice(std::wstring deviceName, utils::FileHandle device) {
    steps_.push_back({StepKind::EnabledDevice, {}, std::move(deviceName), std::move(device)});
}

void ResponsibilityTransfer::Complete() noexcept {
    if (completed_) return;
    completed_ = true;
    try {
        if (committed_) {
            SendCommits();
        } else {
            RollBack();
        }
    } catch (const std::exception& error) {
        LogMessageA(log_, kLogError, "%s", error.what());
    }
    steps_.clear();  // closes any device still open
}

void ResponsibilityTransfer::SendCommits() {
    for (const Step& step : steps_) {
        if (step.kind != StepKind::EnabledDevice) continue;
        std::uint32_t error = 0;
        if (!services::SendCommitRequest(step.device, error) && error != 0) {
            LogMessage(log_, kLogError, L"Responsibility transfer commit of driver %s failed: 0x%08X",
                       step.deviceName.c_str(), error);
        } else {
            LogMessage(log_, kLogProgress, L"Responsibility transfer commit of driver %s succeeded",
                       step.deviceName.c_str());
        }
    }
}

std::vector<describe::DriverDescription> ResponsibilityTransfer::InstalledDrivers() const {
    std::vector<describe::DriverDescription> drivers;
    for (const Step& step : steps_) {
        if (step.kind == StepKind::InstallActions) drivers.push_back(step.driver);
    }
    return drivers;
}

// The filter drivers must be let go of before anything is removed, so the
// unload covers every driver the run touched at once; then each step is
// undone, newest first. Neither result is looked at: the run's own failure
// is what it reports.
void ResponsibilityTransfer::RollBack() {
    UnloadDrivers(log_, InstalledDrivers());
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        if (step->kind == StepKind::EnabledDevice) {
            step->device = utils::FileHandle();  // closed without a commit
        } else {
            UninstallDriver(log_, step->driver);
        }
    }
}

}  // namespace engine
